# Cross-builds the Windows program (32-bit) on Linux with mingw-w64, e.g. the
# Debian package g++-mingw-w64-i686.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(BRINOK_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${BRINOK_MINGW_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${BRINOK_MINGW_TRIPLE}-g++)
set(CMAKE_RC_COMPILER ${BRINOK_MINGW_TRIPLE}-windres)

# Headers and libraries come from the cross sysroot only; programs run during
# the build come from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${BRINOK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
