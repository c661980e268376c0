# nesexpand_docs(SOURCE_DIR OUTPUT_DIR VERSION MAINTAINER) writes into
# OUTPUT_DIR the doc files that a Linux install and the packages carry, as
# a Debian package wants them, compressed with gzip -9n, which records no
# file name or time:
#   changelog.gz   CHANGELOG.md in Debian's changelog form, signed by MAINTAINER
#   nesexpand.1.gz the manual page, once its .TH line is seen to name
#                  VERSION and the date of the newest release
# As a script, it does so for its -D options of those names:
#   cmake -DSOURCE_DIR=... -DOUTPUT_DIR=... -DVERSION=... -DMAINTAINER=... -P cmake/release_docs.cmake
# cpack reads the release dates from here too.
cmake_policy(VERSION 3.18)
find_program(NESEXPAND_GZIP gzip REQUIRED)

# A release's heading in CHANGELOG.md: "## VERSION (YYYY-MM-DD)".
set(nesexpand_release_heading "^## ([^ ]+) [(](([0-9]+)-([0-9]+)-([0-9]+))[)]$")

# nesexpand_date(YEAR MONTH DAY EPOCH_VAR DEBIAN_VAR): midnight UTC of that
# day, in seconds since 1970 and as Debian's changelog writes a date
# ("Tue, 08 Dec 2026 00:00:00 +0000").
function(nesexpand_date year month day epoch_var debian_var)
  # Days since 1970-01-01, with years counted from March so that a leap
  # day is the last day of its year.
  string(REGEX REPLACE "^0" "" m "${month}")
  string(REGEX REPLACE "^0" "" d "${day}")
  set(y ${year})
  if(m LESS_EQUAL 2)
    math(EXPR y "${y} - 1")
  endif()
  math(EXPR epoch "(${y} * 365 + ${y} / 4 - ${y} / 100 + ${y} / 400
                    + (153 * ((${m} + 9) % 12) + 2) / 5 + ${d} - 1 - 719468) * 86400")
  # string(TIMESTAMP) formats the time in SOURCE_DATE_EPOCH. The variable
  # is put back as it was, unset if it was: an empty one is an error to
  # the compilers that read it (zig, for one).
  set(saved "$ENV{SOURCE_DATE_EPOCH}")
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
  string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  if(saved STREQUAL "")
    unset(ENV{SOURCE_DATE_EPOCH})
  else()
    set(ENV{SOURCE_DATE_EPOCH} "${saved}")
  endif()
  set(${epoch_var} ${epoch} PARENT_SCOPE)
  set(${debian_var} "${date}" PARENT_SCOPE)
endfunction()

function(nesexpand_docs source output version maintainer)
  # Each "## VERSION (DATE)" a stanza, each "- " item a "  * " item, each
  # continuation line indented to match. The text is cut into lines with
  # string(FIND), never split as a CMake list, so that every character
  # (";", "[", "]", a "\" at the end) comes through as written.
  file(READ "${source}/CHANGELOG.md" text)
  string(APPEND text "\n")
  set(changelog "")
  set(newest "")
  set(trailer "")
  while(NOT text STREQUAL "")
    string(FIND "${text}" "\n" end)
    string(SUBSTRING "${text}" 0 ${end} line)
    math(EXPR end "${end} + 1")
    string(SUBSTRING "${text}" ${end} -1 text)
    if(line MATCHES "${nesexpand_release_heading}")
      if(NOT newest)
        set(newest "${CMAKE_MATCH_1}")
        set(newest_date "${CMAKE_MATCH_2}")
      endif()
      string(APPEND changelog "${trailer}nesexpand (${CMAKE_MATCH_1}) unstable; urgency=medium\n\n")
      nesexpand_date(${CMAKE_MATCH_3} ${CMAKE_MATCH_4} ${CMAKE_MATCH_5} epoch date)
      set(trailer "\n -- ${maintainer}  ${date}\n\n")
    elseif(newest AND line MATCHES "^- (.*)$")
      string(APPEND changelog "  * ${CMAKE_MATCH_1}\n")
    elseif(newest AND line MATCHES "^  +(.*)$")
      string(APPEND changelog "    ${CMAKE_MATCH_1}\n")
    endif()
  endwhile()
  if(NOT newest STREQUAL version)
    message(FATAL_ERROR "CHANGELOG.md's newest release is \"${newest}\", not ${version}: "
                        "add a heading \"## ${version} (YYYY-MM-DD)\" with its changes")
  endif()
  string(REGEX REPLACE "\n\n$" "\n" trailer "${trailer}")
  file(WRITE "${output}/changelog" "${changelog}${trailer}")

  set(th ".TH NESEXPAND 1 ${newest_date} \"nesexpand ${version}\" \"User Commands\"")
  file(STRINGS "${source}/nesexpand.1" first_line LIMIT_COUNT 1)
  if(NOT first_line STREQUAL th)
    message(FATAL_ERROR "nesexpand.1 begins \"${first_line}\", not \"${th}\"")
  endif()

  foreach(from IN ITEMS "${output}/changelog" "${source}/nesexpand.1")
    get_filename_component(name "${from}" NAME)
    execute_process(COMMAND ${NESEXPAND_GZIP} -9n -c "${from}" OUTPUT_FILE "${output}/${name}.gz"
                    RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "gzip -9n ${from} failed")
    endif()
  endforeach()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  nesexpand_docs("${SOURCE_DIR}" "${OUTPUT_DIR}" "${VERSION}" "${MAINTAINER}")
endif()
