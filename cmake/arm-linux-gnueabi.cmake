# 32-bit ARM Linux, Debian's armel (ARMv5TE and later, floating point in
# software), with g++-arm-linux-gnueabi. Statically linked, its programs also
# run on the ARMv6 boards that armhf code does not run on (Pi 1, Pi Zero), so
# they run here under qemu-arm on those boards' processor, the ARM1176.
set(CMAKE_SYSTEM_NAME Linux)
set(BRINOK_CROSS_TRIPLE arm-linux-gnueabi)
set(CMAKE_SYSTEM_PROCESSOR armv5tel)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -cpu arm1176)
include(${CMAKE_CURRENT_LIST_DIR}/cross-toolchain.cmake)
