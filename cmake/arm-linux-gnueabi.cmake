# 32-bit ARM Linux, Debian's armel (ARMv5TE and later, floating point in
# software), with g++-arm-linux-gnueabi. Statically linked, its programs run
# on every 32-bit ARM Linux, the ARMv6 Pi 1 and Pi Zero included, where
# Debian's armhf (ARMv7) code does not: the armhf package carries the same
# program. They run here under qemu-arm on those boards' processor, the
# ARM1176.
set(CMAKE_SYSTEM_NAME Linux)
set(BRINOK_CROSS_TRIPLE arm-linux-gnueabi)
set(CMAKE_SYSTEM_PROCESSOR armv5tel)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -cpu arm1176)
include(${CMAKE_CURRENT_LIST_DIR}/cross-toolchain.cmake)
