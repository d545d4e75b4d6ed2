# The 64-bit ARM Linux build (a Raspberry Pi 4 or 5 with Debian or Raspberry Pi OS arm64) made on
# an amd64 Debian machine: Debian's cross compiler (g++-aarch64-linux-gnu) against the arm64
# libraries of this machine's release, unpacked by scripts/arm64-sysroot.sh into
# build/arm64-sysroot (made here on the first configure, refreshed by the test command). Its
# programs run under qemu-user (qemu-aarch64-static, the sysroot as its library prefix): the
# tests, the manual pages' help2man and the icons' recorder all go through
# CMAKE_CROSSCOMPILING_EMULATOR. `scripts/deps.sh arm64` installs the compiler and qemu.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# The package's architecture, in Debian's name.
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)

if(DEFINED ENV{SORVEL_ARM64_SYSROOT})
  set(sorvel_sysroot $ENV{SORVEL_ARM64_SYSROOT})
else()
  get_filename_component(sorvel_sysroot ${CMAKE_CURRENT_LIST_DIR}/../build/arm64-sysroot ABSOLUTE)
endif()
# Read for each try_compile too: the sysroot is made once, by the first configure.
if(NOT EXISTS ${sorvel_sysroot}/.made)
  find_program(sorvel_cross_compiler aarch64-linux-gnu-g++)
  if(NOT sorvel_cross_compiler)
    message(FATAL_ERROR "aarch64-linux-gnu-g++ is not installed (scripts/deps.sh arm64 installs it)")
  endif()
  message(STATUS "Making the arm64 sysroot ${sorvel_sysroot} (scripts/arm64-sysroot.sh)")
  execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../scripts/arm64-sysroot.sh ${sorvel_sysroot}
                  RESULT_VARIABLE sorvel_sysroot_made)
  if(NOT sorvel_sysroot_made EQUAL 0)
    message(FATAL_ERROR "scripts/arm64-sysroot.sh could not make ${sorvel_sysroot}")
  endif()
endif()
set(CMAKE_SYSROOT ${sorvel_sysroot})
set(CMAKE_FIND_ROOT_PATH ${sorvel_sysroot})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config (FFmpeg's libraries) reads the sysroot's .pc files and prefixes their paths.
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${sorvel_sysroot})
set(ENV{PKG_CONFIG_LIBDIR}
    ${sorvel_sysroot}/usr/lib/aarch64-linux-gnu/pkgconfig:${sorvel_sysroot}/usr/share/pkgconfig)

find_program(SORVEL_QEMU_AARCH64 NAMES qemu-aarch64-static qemu-aarch64)
if(NOT SORVEL_QEMU_AARCH64)
  message(FATAL_ERROR "qemu-aarch64-static is not installed (scripts/deps.sh arm64 installs it); "
                      "the build runs the recorder for the icons and help2man on the programs")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${SORVEL_QEMU_AARCH64};-L;${sorvel_sysroot})
