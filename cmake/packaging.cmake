# Release packages, one per kind of build; `cpack` in a build directory makes that build's package,
# and scripts/package.sh makes all three (and the source archive) into build/packages/:
#   native (Linux)  sorvel_<version>_<arch>.deb  both programs in /usr/games, their manual
#                                                 pages, a menu entry, an icon and AppStream
#                                                 metadata per program, each program's
#                                                 screen-saver entries, the README, the changelog
#                                                 and the copyright file; it needs only SDL2,
#                                                 X11, libstdc++ and libc, whose package names
#                                                 every current Debian and Ubuntu release shares
#                   sorvel-record_<version>+<release>_<arch>.deb
#                                                 the recorder and its manual page, for the one
#                                                 release it was built on (deb12, deb13: FFmpeg's
#                                                 library packages are named by their ABI)
#                   Each is a CPack component (demos, recorder); scripts/package.sh runs cpack
#                   once for each, as the recorder's Debian version carries its release.
#   mingw-i686      sorvel-<version>-win32.zip   the three .exe files (static: nothing else needed),
#                                                 the two screen savers (.scr, copies of the .exe
#                                                 files), README.txt with the keys, options and how
#                                                 to install a screen saver, LICENSE.txt
#   wasm            sorvel-<version>-web.tar.gz  the static page of build/<dir>/web, LICENSE.txt
# `cmake --install` of a native build puts the same files under its prefix (games/ and share/).
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
  install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  set(CPACK_GENERATOR TGZ)
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-web)

elseif(WIN32)
  install(TARGETS sorvel2 sorvel sorvel-record RUNTIME DESTINATION .)
  # The screen savers: copies of the installed (stripped) programs under their .scr names.
  foreach(program sorvel2 sorvel)
    install(CODE "file(COPY_FILE \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${program}.exe\"
                                 \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${program}.scr\")")
  endforeach()
  # Windows line ends, so that Notepad shows the lines of any Windows version.
  configure_file(${sorvel_packaging_dir}/README.txt.in ${CMAKE_BINARY_DIR}/packaging/README.txt
                 @ONLY NEWLINE_STYLE CRLF)
  configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt @ONLY
                 NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/README.txt ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt
          DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win32)

else()
  # Debian's place for games: the demos and their recorder in /usr/games, their manual pages in
  # section 6.
  set(sorvel_games_dir games)
  set(sorvel_doc_dir share/doc/sorvel)
  include(${CMAKE_SOURCE_DIR}/cmake/debian_files.cmake)
  # What the build makes for the package goes in packaging/, what configuring writes in debian/.
  # The build's commands need their folder made here: Ninja creates the folders of a command's
  # outputs, but the Makefile generator does not.
  set(files ${CMAKE_BINARY_DIR}/packaging)
  set(debian ${CMAKE_BINARY_DIR}/debian)
  file(MAKE_DIRECTORY ${files})
  # The release the recorder's package is built for, as Debian names its own builds for a release
  # (deb12, deb13; other systems by their ID and VERSION_ID): the one whose libraries the build
  # links, the sysroot's in a cross build.
  set(os_release /etc/os-release)
  if(CMAKE_SYSROOT AND EXISTS ${CMAKE_SYSROOT}/etc/os-release)
    set(os_release ${CMAKE_SYSROOT}/etc/os-release)
  endif()
  set(release_id unknown)
  set(release_version 0)
  if(EXISTS ${os_release})
    file(STRINGS ${os_release} release_lines REGEX "^(ID|VERSION_ID)=")
    foreach(line ${release_lines})
      string(REPLACE "\"" "" line "${line}")
      if(line MATCHES "^ID=(.+)$")
        set(release_id ${CMAKE_MATCH_1})
      elseif(line MATCHES "^VERSION_ID=(.+)$")
        set(release_version ${CMAKE_MATCH_1})
      endif()
    endforeach()
  endif()
  if(release_id STREQUAL "debian")
    set(release_id deb)
  endif()
  set(SORVEL_RELEASE_TAG "${release_id}${release_version}"
      CACHE STRING "The release in the recorder package's version and file name (deb12, deb13)")
  set(sorvel_recorder_version ${PROJECT_VERSION}+${SORVEL_RELEASE_TAG})
  set(recorder_debian ${debian}/sorvel-record)
  sorvel_debian_changelog(${CMAKE_SOURCE_DIR}/CHANGELOG.md ${debian}/changelog ${CPACK_PACKAGE_NAME}
                          "${CPACK_PACKAGE_CONTACT}")
  sorvel_debian_changelog(${CMAKE_SOURCE_DIR}/CHANGELOG.md ${recorder_debian}/changelog
                          sorvel-record "${CPACK_PACKAGE_CONTACT}" +${SORVEL_RELEASE_TAG})
  if(NOT sorvel_changelog_version STREQUAL PROJECT_VERSION)
    message(WARNING "CHANGELOG.md's newest release is ${sorvel_changelog_version}, "
                    "not the project's version ${PROJECT_VERSION}")
  endif()
  sorvel_debian_copyright(${CMAKE_SOURCE_DIR}/LICENSE ${debian}/copyright Sorvel
                          "${CPACK_PACKAGE_CONTACT}")
  # AppStream metadata for software centres, its releases those of CHANGELOG.md.
  set(sorvel_metainfo_releases "")
  foreach(release ${sorvel_changelog_releases})
    string(REPLACE "=" ";" release ${release})
    list(GET release 0 version)
    list(GET release 1 date)
    string(APPEND sorvel_metainfo_releases "    <release version=\"${version}\" date=\"${date}\"/>\n")
  endforeach()
  string(STRIP "${sorvel_metainfo_releases}" sorvel_metainfo_releases)
  set(sorvel_metainfo)
  foreach(program sorvel2 sorvel)
    set(metainfo ${debian}/example.sorvel.${program}.metainfo.xml)
    configure_file(${sorvel_packaging_dir}/${program}.metainfo.xml.in ${metainfo} @ONLY)
    list(APPEND sorvel_metainfo ${metainfo})
  endforeach()

  # Each program's icon is one of its own frames, drawn by the recorder at build time: frame 300,
  # by when the fountain has filled the picture.
  set(sorvel_icon_frame 300)
  set(sorvel_icons)
  foreach(program sorvel2 sorvel)
    set(icon ${files}/${program}.png)
    add_custom_command(
      OUTPUT ${icon}
      COMMAND sorvel-record ${program} --frames ${sorvel_icon_frame} --png ${icon}
      DEPENDS sorvel-record
      COMMENT "Drawing ${program}'s icon from frame ${sorvel_icon_frame}"
      VERBATIM)
    list(APPEND sorvel_icons ${icon})
  endforeach()
  add_custom_target(icons ALL DEPENDS ${sorvel_icons})

  # Debian wants changelogs and manual pages compressed, by `gzip -9n`: no name or time in the
  # header, so that the same sources give the same bytes.
  file(MAKE_DIRECTORY ${files}/sorvel-record)
  add_custom_command(
    OUTPUT ${files}/changelog.gz ${files}/sorvel-record/changelog.gz
    COMMAND gzip -9n -c ${debian}/changelog > ${files}/changelog.gz
    COMMAND gzip -9n -c ${recorder_debian}/changelog > ${files}/sorvel-record/changelog.gz
    DEPENDS ${debian}/changelog ${recorder_debian}/changelog
    COMMENT "Compressing the changelogs"
    VERBATIM)
  add_custom_target(changelog ALL DEPENDS ${files}/changelog.gz ${files}/sorvel-record/changelog.gz)

  # Each manual page is its program's --help and --version, read by help2man, with the sections
  # they lack from packaging/<program>.h2m, dated as the newest release.
  find_program(SORVEL_HELP2MAN help2man)
  set(sorvel_pages)
  if(SORVEL_HELP2MAN)
    foreach(program sorvel2:6 sorvel:6 sorvel-record:6)
      string(REPLACE ":" ";" program ${program})
      list(GET program 1 section)
      list(GET program 0 program)
      set(page ${files}/${program}.${section})
      add_custom_command(
        OUTPUT ${page}.gz
        COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${sorvel_changelog_epoch}
                ${SORVEL_HELP2MAN} --no-info --section=${section}
                --include=${sorvel_packaging_dir}/${program}.h2m --output=${page}
                ${sorvel_run_${program}}
        COMMAND gzip -9nf ${page}
        DEPENDS ${program} ${sorvel_packaging_dir}/${program}.h2m
        COMMENT "Writing the manual page ${program}(${section})"
        VERBATIM)
      list(APPEND sorvel_pages ${page}.gz)
      set(component demos)
      if(program STREQUAL "sorvel-record")
        set(component recorder)
      endif()
      install(FILES ${page}.gz DESTINATION share/man/man${section} COMPONENT ${component})
    endforeach()
    add_custom_target(man_pages ALL DEPENDS ${sorvel_pages})
  else()
    message(STATUS "help2man not found: no manual pages (scripts/deps.sh test installs it)")
    add_custom_target(man_pages)
  endif()

  install(TARGETS sorvel2 sorvel RUNTIME DESTINATION ${sorvel_games_dir} COMPONENT demos)
  install(TARGETS sorvel-record RUNTIME DESTINATION ${sorvel_games_dir} COMPONENT recorder)
  install(FILES ${sorvel_packaging_dir}/sorvel2.desktop ${sorvel_packaging_dir}/sorvel.desktop
          DESTINATION share/applications COMPONENT demos)
  install(FILES ${sorvel_metainfo} DESTINATION share/metainfo COMPONENT demos)
  # Where screen savers look for display modes: xscreensaver's settings (the cycle time as a
  # slider) and the entries that mate-screensaver and xfce4-screensaver list.
  foreach(program sorvel2 sorvel)
    install(FILES ${sorvel_packaging_dir}/${program}.xscreensaver.xml
            DESTINATION share/xscreensaver/config RENAME ${program}.xml COMPONENT demos)
    install(FILES ${sorvel_packaging_dir}/${program}.screensaver.desktop
            DESTINATION share/applications/screensavers RENAME ${program}.desktop COMPONENT demos)
  endforeach()
  # A 320 x 240 picture is no theme's square size; /usr/share/pixmaps takes icons of any shape.
  install(FILES ${sorvel_icons} DESTINATION share/pixmaps COMPONENT demos)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${debian}/copyright ${files}/changelog.gz
          DESTINATION ${sorvel_doc_dir} COMPONENT demos)
  install(FILES ${debian}/copyright ${files}/sorvel-record/changelog.gz
          DESTINATION share/doc/sorvel-record COMPONENT recorder)

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL demos recorder)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_SECTION games)
  if(NOT CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
    find_program(SORVEL_DPKG dpkg)
    if(SORVEL_DPKG)
      execute_process(COMMAND ${SORVEL_DPKG} --print-architecture
                      OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE
                      OUTPUT_STRIP_TRAILING_WHITESPACE)
    endif()
  endif()
  set(CPACK_DEBIAN_DEMOS_PACKAGE_NAME sorvel)
  set(CPACK_DEBIAN_DEMOS_FILE_NAME
      sorvel_${PROJECT_VERSION}_${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}.deb)
  set(CPACK_DEBIAN_DEMOS_DESCRIPTION
      "sorvel2 and sorvel each animate an endless fountain of fireworks sparks
in a fire, in a 320 x 240 window. sorvel2 shows the fire through polar,
swirl and ripple warps; sorvel recolours it with six palette schemes.
Both run as screen savers too.")
  set(CPACK_DEBIAN_DEMOS_PACKAGE_SUGGESTS sorvel-record)
  set(CPACK_DEBIAN_RECORDER_PACKAGE_NAME sorvel-record)
  set(CPACK_DEBIAN_RECORDER_FILE_NAME
      sorvel-record_${sorvel_recorder_version}_${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}.deb)
  set(CPACK_DEBIAN_RECORDER_DESCRIPTION
      "sorvel-record renders the frames of sorvel2 and sorvel without a window
and writes them as GIF, PNG, raw pixels, video or one CRC per frame.")
  # The recorder came in the sorvel package up to 1.1.0.
  set(CPACK_DEBIAN_RECORDER_PACKAGE_REPLACES "sorvel (<< 1.2.0)")
  set(CPACK_DEBIAN_RECORDER_PACKAGE_BREAKS "sorvel (<< 1.2.0)")
  # The recorder's Debian version names its release, and its summary is its own; cpack takes one
  # version and summary a run, so scripts/package.sh runs it once per component
  # (cpack -D CPACK_COMPONENTS_ALL=recorder) and cpack_components.cmake gives each run its own.
  set(CPACK_SORVEL_RECORDER_VERSION ${sorvel_recorder_version})
  set(CPACK_SORVEL_RECORDER_SUMMARY "frame recorder of the sorvel fire demos")
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/cpack_components.cmake)
  # The libraries' packages are read off the binaries by dpkg-shlibdeps, never listed by hand.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  if(CMAKE_CROSSCOMPILING AND CMAKE_SYSROOT)
    # A cross build's libraries are the sysroot's, and so is the database of the packages that
    # hold them (scripts/arm64-sysroot.sh writes one): cpack_components.cmake hands both to
    # dpkg-shlibdeps, with the architecture the package is for.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
        ${CMAKE_SYSROOT}/usr/lib/${CMAKE_LIBRARY_ARCHITECTURE})
    set(CPACK_SORVEL_DPKG_ADMINDIR ${CMAKE_SYSROOT}/var/lib/dpkg)
  endif()
endif()

include(CPack)
