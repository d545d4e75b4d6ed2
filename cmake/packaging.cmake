# Release packages, one per kind of build; `cpack` in a build directory makes that build's package,
# and scripts/package.sh makes all three into build/packages/:
#   native (Linux)  sorvel_<version>_amd64.deb   both programs and the recorder in /usr/bin, a menu
#                                                 entry and an icon per program, the README
#   mingw-i686      sorvel-<version>-win32.zip   the three .exe files (static: nothing else needed)
#                                                 and README.txt with the keys and options
#   wasm            sorvel-<version>-web.tar.gz  the static page of build/<dir>/web
set(CPACK_PACKAGE_NAME sorvel)
set(CPACK_PACKAGE_VENDOR "Sorvel")
set(CPACK_PACKAGE_CONTACT "Sorvel maintainers <maintainers@users.noreply.c-seed-31cc7c80.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "two real-time fire demos")
set(CPACK_PACKAGE_CHECKSUM SHA256)
# Programs go out without their symbol tables (the static MinGW recorder: 1.6 MB instead of 3 MB).
set(CPACK_STRIP_FILES ON)
# Installed directories are 755 whatever the umask of whoever builds the package.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(sorvel_packaging_dir ${CMAKE_SOURCE_DIR}/packaging)

if(EMSCRIPTEN)
  # Only what a web server hands out; the recorder (build/<dir>/tools) runs under Node.js and
  # stays out.
  install(DIRECTORY ${CMAKE_BINARY_DIR}/web/ DESTINATION .
          FILES_MATCHING PATTERN "*.html" PATTERN "*.css" PATTERN "*.js" PATTERN "*.wasm"
          PATTERN "*.png" PATTERN "*.svg" PATTERN "*.ico")
  set(CPACK_GENERATOR TGZ)
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-web)

elseif(WIN32)
  install(TARGETS sorvel2 sorvel sorvel-record RUNTIME DESTINATION .)
  # Windows line ends, so that Notepad shows the lines of any Windows version.
  configure_file(${sorvel_packaging_dir}/README.txt.in ${CMAKE_BINARY_DIR}/packaging/README.txt
                 @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/README.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win32)

else()
  # Each program's icon is one of its own frames, drawn by the recorder at build time: frame 300,
  # by when the fountain has filled the picture.
  set(sorvel_icon_frame 300)
  set(sorvel_icons)
  foreach(program sorvel2 sorvel)
    set(icon ${CMAKE_BINARY_DIR}/packaging/${program}.png)
    add_custom_command(
      OUTPUT ${icon}
      COMMAND sorvel-record ${program} --frames ${sorvel_icon_frame} --png ${icon}
      DEPENDS sorvel-record
      COMMENT "Drawing ${program}'s icon from frame ${sorvel_icon_frame}"
      VERBATIM)
    list(APPEND sorvel_icons ${icon})
  endforeach()
  add_custom_target(icons ALL DEPENDS ${sorvel_icons})

  install(TARGETS sorvel2 sorvel sorvel-record RUNTIME DESTINATION bin)
  install(FILES ${sorvel_packaging_dir}/sorvel2.desktop ${sorvel_packaging_dir}/sorvel.desktop
          DESTINATION share/applications)
  # A 320 x 240 picture is no theme's square size; /usr/share/pixmaps takes icons of any shape.
  install(FILES ${sorvel_icons} DESTINATION share/pixmaps)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION share/doc/sorvel)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION games)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "sorvel2 and sorvel each animate an endless fountain of fireworks sparks
in a fire, in a 320 x 240 window. sorvel2 shows the fire through polar,
swirl and ripple warps; sorvel recolours it with six palette schemes.
sorvel-record renders their frames without a window and writes them to files.")
  # The libraries' packages are read off the binaries by dpkg-shlibdeps, never listed by hand.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
