# What both mingw-w64 toolchain files share; each sets VARN_MINGW_TRIPLE and the
# processor first. The -posix thread variants of the compilers, which std::thread
# needs. Tests run through Wine.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${VARN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VARN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VARN_MINGW_TRIPLE}-windres)

# Libraries and headers (zlib from libz-mingw-w64-dev) from the target's root only;
# programs from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${VARN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR wine)
