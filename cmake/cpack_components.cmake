# Read by cpack before it packs: the recorder's package, made alone, takes its release's version
# (1.2.0+deb12) and its own summary; the demos' package keeps the project's.
if(CPACK_GENERATOR STREQUAL "DEB" AND CPACK_COMPONENTS_ALL STREQUAL "recorder")
  set(CPACK_DEBIAN_PACKAGE_VERSION ${CPACK_SORVEL_RECORDER_VERSION})
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${CPACK_SORVEL_RECORDER_SUMMARY})
endif()
# A cross build's package: dpkg-shlibdeps (run by cpack) takes the packages that hold the libraries
# from the sysroot's database, and the library folders and objdump of the package's architecture.
if(CPACK_GENERATOR STREQUAL "DEB" AND CPACK_SORVEL_DPKG_ADMINDIR)
  set(ENV{DPKG_ADMINDIR} ${CPACK_SORVEL_DPKG_ADMINDIR})
  set(ENV{DEB_HOST_ARCH} ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})
endif()
