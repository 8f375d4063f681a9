# Shared by the toolchain files for Debian's cross compilers (Linux on ARM,
# Windows with mingw-w64): the one that includes this sets
# CMAKE_SYSTEM_NAME, CMAKE_SYSTEM_PROCESSOR and BRINOK_CROSS_TRIPLE, the GNU
# triplet that prefixes the compiler's name. A Linux one also sets the
# qemu-user command that runs the target's programs here
# (CMAKE_CROSSCOMPILING_EMULATOR): CTest runs the tests through it, and the
# integration tests put it in front of the program they start. The presets
# link statically, so the emulator needs no copy of the target's libraries.

set(CMAKE_C_COMPILER ${BRINOK_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${BRINOK_CROSS_TRIPLE}-g++)

# Headers and libraries come from the cross sysroot only; programs run during
# the build come from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${BRINOK_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
