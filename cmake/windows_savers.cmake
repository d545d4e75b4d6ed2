# The screen savers: sorvel2.scr and sorvel.scr are the programs themselves under another name
# (a program whose file name ends in .scr takes the arguments Windows gives a screen saver:
# platform/windows/windows_saver.h). Each is a copy of its .exe, made beside it in the build
# and, from the installed .exe (stripped by then), in the package (cmake/packaging.cmake).
set(sorvel_screen_savers)
foreach(program sorvel2 sorvel)
  set(saver ${CMAKE_BINARY_DIR}/apps/${program}.scr) # beside the .exe (apps/)
  add_custom_command(
    OUTPUT ${saver}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${program}> ${saver}
    DEPENDS ${program}
    COMMENT "Copying ${program}.exe to ${program}.scr"
    VERBATIM)
  list(APPEND sorvel_screen_savers ${saver})
endforeach()
add_custom_target(screen_savers ALL DEPENDS ${sorvel_screen_savers})
