# The Windows programs' resources: each demo's icon (packaging/windows/<program>.ico, its own
# frame 300, made by scripts/windows-icons.py), version information from the project's version and
# LICENSE's copyright line, and a manifest: aware of each monitor's DPI (the backend scales the
# picture itself), the Windows versions it knows, and never elevated. The recorder gets the
# version and a manifest without the DPI settings: it opens no window.
set(sorvel_windows_dir ${CMAKE_SOURCE_DIR}/packaging/windows)
file(STRINGS ${CMAKE_SOURCE_DIR}/LICENSE COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
string(REGEX REPLACE "^Copyright \\(c\\) [0-9, -]+ " "" HOLDER "${COPYRIGHT}")

set(sorvel_dpi_settings [[
  <!-- The program draws for each monitor's DPI itself: Windows must not stretch it. -->
  <application xmlns="urn:schemas-microsoft-com:asm.v3">
    <windowsSettings>
      <dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/pm</dpiAware>
      <dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">PerMonitorV2, PerMonitor</dpiAwareness>
    </windowsSettings>
  </application>
]])

# sorvel_windows_resources(TARGET PROGRAM DESCRIPTION [ICON]): the resources of PROGRAM.exe.
function(sorvel_windows_resources target program description)
  set(PROGRAM ${program})
  set(DESCRIPTION ${description})
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/resources)
  set(MANIFEST ${dir}/${program}.manifest)
  if(ARGC GREATER 3)
    set(ICON_LINE "1 ICON \"${ARGV3}\"")
    set(RESOURCE_NOTE "its icon")
    set(DPI_SETTINGS "${sorvel_dpi_settings}")
  else()
    set(ICON_LINE "")
    set(RESOURCE_NOTE "no icon (it opens no window)")
    set(DPI_SETTINGS "")
  endif()
  configure_file(${sorvel_windows_dir}/program.manifest.in ${MANIFEST} @ONLY)
  configure_file(${sorvel_windows_dir}/program.rc.in ${dir}/${program}.rc @ONLY)
  target_sources(${target} PRIVATE ${dir}/${program}.rc)
  # windres reads the icon and the manifest: a change to either builds the resources again. (A
  # source's properties belong to the folder of the target that compiles it.)
  set_source_files_properties(${dir}/${program}.rc TARGET_DIRECTORY ${target} PROPERTIES
                              OBJECT_DEPENDS "${MANIFEST};${ARGV3}")
endfunction()

sorvel_windows_resources(sorvel2 sorvel2 "Sorvel2: fireworks in a fire, through polar, swirl and ripple warps"
                         ${sorvel_windows_dir}/sorvel2.ico)
sorvel_windows_resources(sorvel sorvel "Sorvel: fireworks in a fire, in six palette schemes"
                         ${sorvel_windows_dir}/sorvel.ico)
sorvel_windows_resources(sorvel-record sorvel-record "Sorvel's frame recorder")
