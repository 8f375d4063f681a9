# 32-bit ARM Linux, Debian's armhf (ARMv7 with hardware floating point: the
# 32-bit Raspberry Pi OS on a Pi 2 or later), with g++-arm-linux-gnueabihf.
# Programs run here under qemu-arm on the oldest processor of those boards:
# the Cortex-A7 of the first Pi 2.
set(CMAKE_SYSTEM_NAME Linux)
set(BRINOK_CROSS_TRIPLE arm-linux-gnueabihf)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -cpu cortex-a7)
include(${CMAKE_CURRENT_LIST_DIR}/cross-toolchain.cmake)
