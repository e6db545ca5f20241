# Cross build for Windows with Debian's mingw-w64 (x86_64-w64-mingw32), the -posix thread
# variants, which std::thread needs. Tests run through Wine.
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/x86_64-w64-mingw32.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(VARN_MINGW_TRIPLE x86_64-w64-mingw32)
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
