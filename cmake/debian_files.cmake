# The Debian package's changelog and copyright files, written at configure time from the files
# people edit: CHANGELOG.md (also the README's release notes) and LICENSE. Each is rewritten only
# when its text changes, and CMake configures again when either source does.

# sorvel_days_since_1970(OUT YEAR MONTH DAY): the day number of a date of the Gregorian calendar,
# 1970-01-01 being day 0 (the proleptic calendar's count, as in <chrono>).
function(sorvel_days_since_1970 out year month day)
  math(EXPR month "${month}") # "08" to 8
  math(EXPR day "${day}")
  if(month LESS_EQUAL 2)
    math(EXPR year "${year} - 1")
    math(EXPR shifted_month "${month} + 9")
  else()
    math(EXPR shifted_month "${month} - 3")
  endif()
  math(EXPR era "${year} / 400")
  math(EXPR year_of_era "${year} - ${era} * 400")
  math(EXPR day_of_year "(153 * ${shifted_month} + 2) / 5 + ${day} - 1")
  math(EXPR day_of_era
       "${year_of_era} * 365 + ${year_of_era} / 4 - ${year_of_era} / 100 + ${day_of_year}")
  math(EXPR days "${era} * 146097 + ${day_of_era} - 719468")
  set(${out} ${days} PARENT_SCOPE)
endfunction()

# sorvel_write_if_changed(PATH TEXT): writes TEXT to PATH unless PATH holds it already, so that
# what is made from PATH is not made again for nothing.
function(sorvel_write_if_changed path text)
  file(WRITE ${path}.new "${text}")
  configure_file(${path}.new ${path} COPYONLY)
  file(REMOVE ${path}.new)
endfunction()

# sorvel_debian_changelog(MARKDOWN OUTPUT PACKAGE MAINTAINER [SUFFIX]): turns the release notes
# into the Debian changelog format, SUFFIX (such as "+deb12") after each release's version. Each "## VERSION (YYYY-MM-DD)" heading starts a release, each "- "
# line an item, and lines indented by two spaces go on with the item; text before the first
# heading is the file's own introduction. Backquotes are dropped. Sets in the caller's scope
# sorvel_changelog_version, sorvel_changelog_epoch (the newest release's date, in seconds since
# 1970) and sorvel_changelog_releases (VERSION=YYYY-MM-DD of each release, the newest first).
function(sorvel_debian_changelog markdown output package maintainer)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${markdown})
  set(suffix "${ARGV4}")
  file(READ ${markdown} text)
  set(weekdays Thu Fri Sat Sun Mon Tue Wed) # 1970-01-01 was a Thursday
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  set(changelog "")
  set(entry "") # the release being read, without its closing line
  set(trailer "")
  set(newest "")
  set(epoch "")
  set(releases "")
  set(number 0)
  while(NOT text STREQUAL "")
    string(FIND "${text}" "\n" end)
    if(end EQUAL -1)
      set(line "${text}")
      set(text "")
    else()
      string(SUBSTRING "${text}" 0 ${end} line)
      math(EXPR end "${end} + 1")
      string(SUBSTRING "${text}" ${end} -1 text)
    endif()
    math(EXPR number "${number} + 1")
    string(REPLACE "`" "" line "${line}")
    set(where "${markdown}:${number}")
    if(line MATCHES "^## ([0-9][0-9A-Za-z.+~-]*) \\(([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])( ([0-2][0-9]):([0-5][0-9]))?\\)$")
      set(version ${CMAKE_MATCH_1})
      set(year ${CMAKE_MATCH_2})
      set(month ${CMAKE_MATCH_3})
      set(day ${CMAKE_MATCH_4})
      # A time (UTC) sets apart two releases of one day; Debian wants each newer than the last.
      set(hour 00)
      set(minute 00)
      if(CMAKE_MATCH_5)
        set(hour ${CMAKE_MATCH_6})
        set(minute ${CMAKE_MATCH_7})
      endif()
      if(NOT entry STREQUAL "")
        string(APPEND changelog "${entry}\n${trailer}\n")
      endif()
      sorvel_days_since_1970(days ${year} ${month} ${day})
      math(EXPR weekday "${days} % 7")
      list(GET weekdays ${weekday} weekday)
      math(EXPR month_index "${month} - 1")
      list(GET months ${month_index} month_name)
      set(entry "${package} (${version}${suffix}) unstable; urgency=medium\n\n")
      set(trailer " -- ${maintainer}  ${weekday}, ${day} ${month_name} ${year} ${hour}:${minute}:00 +0000\n")
      list(APPEND releases "${version}=${year}-${month}-${day}")
      if(newest STREQUAL "")
        set(newest ${version})
        math(EXPR epoch "${days} * 86400 + ${hour} * 3600 + ${minute} * 60")
      endif()
    elseif(line MATCHES "^## ")
      message(FATAL_ERROR "${where}: a release heading is \"## VERSION (YYYY-MM-DD)\" or \"## VERSION (YYYY-MM-DD HH:MM)\"")
    elseif(newest STREQUAL "" OR line STREQUAL "")
      # the introduction, and the blank lines between items
    elseif(line MATCHES "^- (.+)$")
      string(APPEND entry "  * ${CMAKE_MATCH_1}\n")
    elseif(entry MATCHES "\\* " AND line MATCHES "^  ([^ ].*)$")
      string(APPEND entry "    ${CMAKE_MATCH_1}\n")
    else()
      message(FATAL_ERROR "${where}: a release's lines are items (\"- \") and their "
                          "continuations (indented by two spaces)")
    endif()
    string(LENGTH "${line}" length)
    if(NOT newest STREQUAL "" AND length GREATER 76)
      message(FATAL_ERROR "${where}: ${length} characters; the changelog takes at most 76")
    endif()
  endwhile()
  if(newest STREQUAL "" OR NOT entry MATCHES "\\* ")
    message(FATAL_ERROR "${markdown}: no release with items")
  endif()
  string(APPEND changelog "${entry}\n${trailer}")
  sorvel_write_if_changed(${output} "${changelog}")
  set(sorvel_changelog_version ${newest} PARENT_SCOPE)
  set(sorvel_changelog_epoch ${epoch} PARENT_SCOPE)
  set(sorvel_changelog_releases ${releases} PARENT_SCOPE)
endfunction()

# sorvel_debian_copyright(LICENSE OUTPUT NAME CONTACT): the copyright file in Debian's
# machine-readable format, its one paragraph holding LICENSE's copyright line and text. The MIT
# licence is "Expat" in Debian's names.
function(sorvel_debian_copyright license output name contact)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${license})
  file(READ ${license} text)
  if(NOT text MATCHES "\nCopyright \\(c\\) ([^\n]+)\n\n(.+)$")
    message(FATAL_ERROR "${license}: no \"Copyright (c) YEAR HOLDER\" line followed by the text")
  endif()
  set(holder "${CMAKE_MATCH_1}")
  string(STRIP "${CMAKE_MATCH_2}" body)
  # Continuation lines start with a space; an empty line is a lone full stop.
  string(REPLACE "\n\n" "\n.\n" body "${body}")
  string(REPLACE "\n" "\n " body "${body}")
  sorvel_write_if_changed(${output} "\
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${name}
Upstream-Contact: ${contact}

Files: *
Copyright: ${holder}
License: Expat
 ${body}
")
endfunction()
