# Cross-builds the Windows program (32-bit) on Linux with mingw-w64, e.g. the
# Debian package g++-mingw-w64-i686.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(BRINOK_CROSS_TRIPLE i686-w64-mingw32)
set(CMAKE_RC_COMPILER ${BRINOK_CROSS_TRIPLE}-windres)
include(${CMAKE_CURRENT_LIST_DIR}/cross-toolchain.cmake)
