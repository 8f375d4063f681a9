# Cross-builds the Windows program (64-bit) on Linux with mingw-w64, e.g. the
# Debian package g++-mingw-w64-x86-64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BRINOK_MINGW_TRIPLE x86_64-w64-mingw32)
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
