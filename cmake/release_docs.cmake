# Writes the doc files that a Linux install and the packages carry, as a
# Debian package wants them, into OUTPUT_DIR:
#   copyright      the licence in Debian's machine-readable form (DEP-5)
#   changelog.gz   CHANGELOG.md in Debian's changelog form
#   nesexpand.1.gz the manual page
# compressed with gzip -9n, which records no file name or time.
#   cmake -DSOURCE_DIR=... -DOUTPUT_DIR=... -DVERSION=... -DMAINTAINER=...
#         -DCONTACT=... -DGZIP=... -P cmake/release_docs.cmake
# MAINTAINER signs the changelog; CONTACT is the project's own address.
include(${CMAKE_CURRENT_LIST_DIR}/release_names.cmake)

# read_lines(FILE VAR): FILE's lines as a list, each ";" kept as the
# placeholder <semicolon> (empty lines kept too).
function(read_lines file var)
  file(READ "${file}" text)
  string(REPLACE ";" "<semicolon>" text "${text}")
  string(REGEX REPLACE "\n$" "" text "${text}")
  string(REPLACE "\n" ";" text "${text}")
  set(${var} "${text}" PARENT_SCOPE)
endfunction()

# write_text(FILE TEXT): TEXT with its semicolons put back.
function(write_text file text)
  string(REPLACE "<semicolon>" ";" text "${text}")
  file(WRITE "${file}" "${text}")
endfunction()

# gzip_file(FROM TO)
function(gzip_file from to)
  execute_process(COMMAND ${GZIP} -9n -c "${from}" OUTPUT_FILE "${to}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip -9n ${from} failed")
  endif()
endfunction()

# copyright: the holder from LICENSE's "Copyright (c)" line, and its whole
# text from "Permission" on, as the Expat licence (Debian's name for MIT).
read_lines("${SOURCE_DIR}/LICENSE" lines)
set(holder "")
set(license "")
foreach(line IN LISTS lines)
  if(line MATCHES "^Copyright \\(c\\) (.+)$")
    set(holder "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^Permission" OR license)
    if(line STREQUAL "")
      set(line ".")  # an empty line within a field
    endif()
    string(APPEND license " ${line}\n")
  endif()
endforeach()
if(NOT holder OR NOT license)
  message(FATAL_ERROR "LICENSE has no \"Copyright (c)\" line or no text from \"Permission\" on")
endif()
write_text("${OUTPUT_DIR}/copyright"
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: nesexpand
Upstream-Contact: ${CONTACT}

Files: *
Copyright: ${holder}
License: Expat
${license}")

# changelog: each "## VERSION (DATE)" a stanza, each "- " item a "  * "
# item, each continuation line indented to match.
read_lines("${SOURCE_DIR}/CHANGELOG.md" lines)
set(changelog "")
set(newest "")
set(trailer "")
foreach(line IN LISTS lines)
  if(line MATCHES "${nesexpand_release_heading}")
    if(NOT newest)
      set(newest ${CMAKE_MATCH_1})
    endif()
    string(APPEND changelog "${trailer}nesexpand (${CMAKE_MATCH_1}) unstable<semicolon> urgency=medium\n\n")
    nesexpand_date(${CMAKE_MATCH_2} ${CMAKE_MATCH_3} ${CMAKE_MATCH_4} epoch date)
    set(trailer "\n -- ${MAINTAINER}  ${date}\n\n")
  elseif(newest AND line MATCHES "^- (.*)$")
    string(APPEND changelog "  * ${CMAKE_MATCH_1}\n")
  elseif(newest AND line MATCHES "^  +(.*)$")
    string(APPEND changelog "    ${CMAKE_MATCH_1}\n")
  endif()
endforeach()
if(NOT newest STREQUAL VERSION)
  message(FATAL_ERROR "CHANGELOG.md's newest release is \"${newest}\", not ${VERSION}: "
                      "add a heading \"## ${VERSION} (YYYY-MM-DD)\" with its changes")
endif()
string(REGEX REPLACE "\n\n$" "\n" trailer "${trailer}")
write_text("${OUTPUT_DIR}/changelog" "${changelog}${trailer}")
gzip_file("${OUTPUT_DIR}/changelog" "${OUTPUT_DIR}/changelog.gz")

gzip_file("${SOURCE_DIR}/nesexpand.1" "${OUTPUT_DIR}/nesexpand.1.gz")
