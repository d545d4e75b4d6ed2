# sorvel_embed_bitmaps(target script.rc): gives the program `target` the bitmap resources that a
# resource script names, so that FindResourceA and LoadImageA find them by name or number.
#
# The script holds lines of the form `NAME BITMAP "file.bmp"` (NAME a word or a number, the file
# relative to the script), blank lines and // comments; nothing else. On Windows the script is
# compiled by the resource compiler (windres) into the program. Elsewhere the same lines become a
# generated C++ table, each entry the bytes of its file minus the 14-byte BITMAPFILEHEADER, which
# is what a Windows RT_BITMAP resource holds; the SDL2 backend's resources.cpp looks names up in
# it. Meant for executables: the table replaces the backend's empty one at link time.
#
# The same file run as a script (cmake -DSCRIPT=... -DOUTPUT=... -P embed_bitmaps.cmake) writes
# the table; the function arranges for that to happen at build time.

# Reads `script` into two lists: names (upper-case, or a number) and absolute file paths.
function(sorvel_read_bitmap_script script out_names out_files)
  file(STRINGS "${script}" lines)
  get_filename_component(base "${script}" DIRECTORY)
  set(names)
  set(files)
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^//")
      continue()
    endif()
    if(NOT line MATCHES "^([A-Za-z0-9_]+)[ \t]+BITMAP[ \t]+\"?([^\"]+)\"?$")
      message(FATAL_ERROR "${script}: not a bitmap resource line: ${line}")
    endif()
    string(TOUPPER "${CMAKE_MATCH_1}" name)
    set(file "${CMAKE_MATCH_2}")
    if(NOT IS_ABSOLUTE "${file}")
      set(file "${base}/${file}")
    endif()
    list(APPEND names "${name}")
    list(APPEND files "${file}")
  endforeach()
  set(${out_names} "${names}" PARENT_SCOPE)
  set(${out_files} "${files}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
  sorvel_read_bitmap_script("${SCRIPT}" names files)
  set(arrays "")
  set(entries "")
  set(index 0)
  foreach(name file IN ZIP_LISTS names files)
    file(SIZE "${file}" size)
    if(size LESS 15)
      message(FATAL_ERROR "${file}: too short for a bitmap file")
    endif()
    file(READ "${file}" bytes OFFSET 14 HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
    string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
    string(APPEND arrays "static const BYTE bitmap_${index}[] = {\n    ${bytes}};\n")
    if(name MATCHES "^[0-9]+$")
      string(APPEND entries "    {nullptr, ${name}, bitmap_${index}, sizeof(bitmap_${index})},\n")
    else()
      string(APPEND entries "    {\"${name}\", 0, bitmap_${index}, sizeof(bitmap_${index})},\n")
    endif()
    math(EXPR index "${index} + 1")
  endforeach()
  file(WRITE "${OUTPUT}.new"
    "// Generated from ${SCRIPT} by cmake/embed_bitmaps.cmake. Do not edit.\n"
    "#include \"embedded_bitmaps.h\"\n\n"
    "${arrays}\n"
    "static const EmbeddedBitmap table[] = {\n${entries}};\n\n"
    "const EmbeddedBitmap* embedded_bitmaps(int* count) {\n"
    "    *count = static_cast<int>(sizeof(table) / sizeof(table[0]));\n"
    "    return table;\n"
    "}\n")
  file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
  file(REMOVE "${OUTPUT}.new")
  return()
endif()

set(SORVEL_EMBED_BITMAPS_MODULE "${CMAKE_CURRENT_LIST_FILE}")
set(SORVEL_PLATFORM_SOURCES "${CMAKE_CURRENT_LIST_DIR}/../platform/api")
if(WIN32)
  enable_language(RC)
endif()

function(sorvel_embed_bitmaps target script)
  get_filename_component(script "${script}" ABSOLUTE)
  sorvel_read_bitmap_script("${script}" names files)
  if(WIN32)
    # windres looks for the files beside the script.
    get_filename_component(base "${script}" DIRECTORY)
    target_sources(${target} PRIVATE "${script}")
    set_property(SOURCE "${script}" APPEND PROPERTY OBJECT_DEPENDS ${files})
    set_property(SOURCE "${script}" APPEND PROPERTY INCLUDE_DIRECTORIES "${base}")
    return()
  endif()
  set(output "${CMAKE_CURRENT_BINARY_DIR}/${target}_bitmaps.cpp")
  add_custom_command(
    OUTPUT "${output}"
    COMMAND ${CMAKE_COMMAND} -DSCRIPT=${script} -DOUTPUT=${output} -P
            "${SORVEL_EMBED_BITMAPS_MODULE}"
    DEPENDS "${script}" ${files} "${SORVEL_EMBED_BITMAPS_MODULE}"
    COMMENT "Embedding the bitmaps of ${script}"
    VERBATIM)
  target_sources(${target} PRIVATE "${output}")
  set_property(SOURCE "${output}" APPEND PROPERTY INCLUDE_DIRECTORIES "${SORVEL_PLATFORM_SOURCES}")
endfunction()
