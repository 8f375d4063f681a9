# 64-bit ARM Linux, Debian's arm64 (64-bit Raspberry Pi OS), with
# g++-aarch64-linux-gnu. Programs run here under qemu-aarch64 on the oldest
# processor of the boards that take it: the Cortex-A53 of the Pi 3 and the
# Pi Zero 2.
set(CMAKE_SYSTEM_NAME Linux)
set(BRINOK_CROSS_TRIPLE aarch64-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -cpu cortex-a53)
include(${CMAKE_CURRENT_LIST_DIR}/cross-toolchain.cmake)
