# What the two MinGW-w64 toolchains share; included by cmake/mingw-i686.cmake and
# cmake/mingw-x86_64.cmake once they have set SORVEL_MINGW_TRIPLE.
# The POSIX thread-model compilers are used because GoogleTest needs std::thread and std::mutex.
# Every executable is linked -static, so it needs only the DLLs that Windows (or Wine) ships.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${SORVEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SORVEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SORVEL_MINGW_TRIPLE}-windres)

# Libraries and headers come only from the MinGW sysroot (Debian's libz-mingw-w64-dev puts zlib
# there); programs such as code generators are still looked up on the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${SORVEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# libz.a rather than the import library libz.dll.a, which would need zlib1.dll beside the .exe.
set(ZLIB_USE_STATIC_LIBS ON)

# -static takes libgcc, libstdc++ and winpthread into the .exe as well.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
