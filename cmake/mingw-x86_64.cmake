# Cross toolchain for the 64-bit Windows build: MinGW-w64 x86_64 from Debian, run under 64-bit
# Wine. The shipped Windows build is the 32-bit one (cmake/mingw-i686.cmake); this one exists to
# run the Windows checks on machines that cannot execute 32-bit processes at all.
#   cmake --preset mingw-x86_64 && cmake --build --preset mingw-x86_64 && ctest --preset mingw-x86_64
# Same choices as the 32-bit toolchain: POSIX thread-model compilers (GoogleTest needs std::thread
# and std::mutex) and -static executables. Doubles are SSE2 by default on x86_64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 5.2)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SORVEL_MINGW_TRIPLE x86_64-w64-mingw32)
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

# ctest and add_test run the executables through the 64-bit Wine loader itself: Debian's `wine`
# script always prefers the 32-bit loader when it is installed, even where it cannot run.
# scripts/wine-env.sh sets up the win64 prefix and quiet debug output for the run.
find_program(SORVEL_WINE64 wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_DEFAULT_PATH)
find_program(SORVEL_WINE64 wine64)
if(SORVEL_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SORVEL_WINE64})
endif()
