# Cross toolchain for the 32-bit Windows build: MinGW-w64 i686 from Debian, run under Wine.
#   cmake --preset mingw-i686 && cmake --build --preset mingw-i686 && ctest --preset mingw-i686
set(SORVEL_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_SYSTEM_VERSION 5.1)
# The top-level CMakeLists turns on SSE2 doubles for processors matching i.86.
set(CMAKE_SYSTEM_PROCESSOR i686)

# ctest and add_test run the Windows executables through Wine; scripts/wine-env.sh sets up the
# Wine prefix and quiet debug output for the run.
find_program(SORVEL_WINE wine)
if(SORVEL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SORVEL_WINE})
endif()
