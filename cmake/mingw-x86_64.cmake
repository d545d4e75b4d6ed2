# Cross toolchain for the 64-bit Windows build: MinGW-w64 x86_64 from Debian, run under 64-bit
# Wine. The shipped Windows build is the 32-bit one (cmake/mingw-i686.cmake); this one exists to
# run the Windows checks on machines that cannot execute 32-bit processes at all.
#   cmake --preset mingw-x86_64 && cmake --build --preset mingw-x86_64 && ctest --preset mingw-x86_64
# The rest is shared with the 32-bit toolchain (mingw-common.cmake). Doubles are SSE2 by default
# on x86_64.
set(SORVEL_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_SYSTEM_VERSION 5.2)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# ctest and add_test run the executables through the 64-bit Wine loader itself: Debian's `wine`
# script always prefers the 32-bit loader when it is installed, even where it cannot run.
# scripts/wine-env.sh sets up the win64 prefix and quiet debug output for the run.
find_program(SORVEL_WINE64 wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_DEFAULT_PATH)
find_program(SORVEL_WINE64 wine64)
if(SORVEL_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SORVEL_WINE64})
endif()
