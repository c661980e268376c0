# nesexpand_docs(SOURCE_DIR OUTPUT_DIR VERSION MAINTAINER) writes into
# OUTPUT_DIR the doc files that a Linux install and the packages carry, as
# a Debian package wants them, compressed with gzip -9n, which records no
# file name or time:
#   changelog.gz   CHANGELOG.md in Debian's changelog form, signed by MAINTAINER
#   nesexpand.1.gz the manual page, once its .TH line is seen to name
#                  VERSION and the date of the newest release
# and stops where CHANGELOG.md cannot become that changelog, or where the
# newest release, the manual page or a release file's name in README.md
# or docs/ names another version than VERSION.
# As a script, it does so for its -D options of those names:
#   cmake -DSOURCE_DIR=... -DOUTPUT_DIR=... -DVERSION=... -DMAINTAINER=... -P cmake/release_docs.cmake
# cpack reads the release dates from here too.
cmake_policy(VERSION 3.18)
find_program(NESEXPAND_GZIP gzip REQUIRED)

# A release's heading in CHANGELOG.md: "## VERSION (YYYY-MM-DD)", with a
# version of the characters that Debian's versions take.
set(nesexpand_release_heading
    "^## ([0-9][A-Za-z0-9.+~-]*) [(](([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9]))[)]$")

# nesexpand_date(YEAR MONTH DAY EPOCH_VAR DEBIAN_VAR): midnight UTC of that
# day, in seconds since 1970 and as Debian's changelog writes a date
# ("Tue, 08 Dec 2026 00:00:00 +0000"); both empty where the day does not
# exist (2026-02-30, 2026-13-01) or comes before 1970.
function(nesexpand_date year month day epoch_var debian_var)
  # Days since 1970-01-01, with years counted from March so that a leap
  # day is the last day of its year. CMake can format a time but not read
  # a date, so the day is counted here and then formatted back by CMake:
  # a day that does not exist comes back as another.
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
  string(TIMESTAMP back "%Y-%m-%d" UTC)
  string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  if(saved STREQUAL "")
    unset(ENV{SOURCE_DATE_EPOCH})
  else()
    set(ENV{SOURCE_DATE_EPOCH} "${saved}")
  endif()
  if(epoch LESS 0 OR NOT back STREQUAL "${year}-${month}-${day}")
    set(epoch "")
    set(date "")
  endif()
  set(${epoch_var} ${epoch} PARENT_SCOPE)
  set(${debian_var} "${date}" PARENT_SCOPE)
endfunction()

function(nesexpand_docs source output version maintainer)
  # Each "## VERSION (DATE)" a stanza, and every line of a release below
  # it a line of that stanza, indented by two spaces as Debian's format
  # wants, with "- " items written as Debian's "* ". Blank lines between
  # lines of a release stay; those around it are the format's own. A line
  # that this cannot carry, a "## " heading of another form or a date
  # that does not exist, stops the build with its line number. The text
  # is cut into lines with string(FIND), never split as a CMake list, so
  # that every character (";", "[", "]", a "\" at the end) comes through
  # as written.
  file(READ "${source}/CHANGELOG.md" text)
  string(APPEND text "\n")
  set(changelog "")
  set(newest "")
  set(trailer "")
  set(blanks "")
  set(number 0)
  set(wrong "")
  while(NOT text STREQUAL "")
    string(FIND "${text}" "\n" end)
    string(SUBSTRING "${text}" 0 ${end} line)
    math(EXPR end "${end} + 1")
    string(SUBSTRING "${text}" ${end} -1 text)
    math(EXPR number "${number} + 1")
    set(where "CHANGELOG.md:${number}: \"${line}\"")
    if(line MATCHES "${nesexpand_release_heading}")
      nesexpand_date(${CMAKE_MATCH_3} ${CMAKE_MATCH_4} ${CMAKE_MATCH_5} epoch date)
      if(NOT date)
        string(APPEND wrong "  ${where}: ${CMAKE_MATCH_2} is no day of the calendar since 1970\n")
      endif()
      if(newest STREQUAL "")
        set(newest "${CMAKE_MATCH_1}")
        set(newest_date "${CMAKE_MATCH_2}")
      endif()
      string(APPEND changelog "${trailer}nesexpand (${CMAKE_MATCH_1}) unstable; urgency=medium\n\n")
      set(trailer "\n -- ${maintainer}  ${date}\n\n")
      set(blanks "")
      set(body FALSE)
    elseif(line MATCHES "^## ")
      string(APPEND wrong "  ${where}: not a release heading \"## VERSION (YYYY-MM-DD)\"\n")
    elseif(newest STREQUAL "")
      # The text above the newest release is not part of any.
    elseif(line STREQUAL "")
      # Written only between two lines of the same release.
      if(body)
        string(APPEND blanks "\n")
      endif()
    else()
      if(line MATCHES "^- (.*)$")
        set(line "* ${CMAKE_MATCH_1}")
      endif()
      string(APPEND changelog "${blanks}  ${line}\n")
      set(blanks "")
      set(body TRUE)
    endif()
  endwhile()
  if(wrong)
    message(FATAL_ERROR "CHANGELOG.md cannot become the Debian changelog:\n${wrong}")
  endif()
  string(REGEX REPLACE "\n\n$" "\n" trailer "${trailer}")
  file(WRITE "${output}/changelog" "${changelog}${trailer}")

  # Every place that names the version follows VERSION, the project's: the
  # newest release, the manual page's .TH line, and the release files'
  # names in the README and docs/ (nesexpand-VERSION-..., nesexpand_VERSION_...).
  set(th ".TH NESEXPAND 1 ${newest_date} \"nesexpand ${version}\" \"User Commands\"")
  if(NOT newest STREQUAL version)
    string(APPEND wrong "  CHANGELOG.md's newest release is \"${newest}\", not ${version}: "
                        "add a heading \"## ${version} (YYYY-MM-DD)\" with its changes\n")
  endif()
  file(STRINGS "${source}/nesexpand.1" first_line LIMIT_COUNT 1)
  if(NOT first_line STREQUAL th)
    string(APPEND wrong "  nesexpand.1 begins \"${first_line}\", not \"${th}\"\n")
  endif()
  file(GLOB documents RELATIVE "${source}" "${source}/README.md" "${source}/docs/*.md")
  foreach(document IN LISTS documents)
    file(READ "${source}/${document}" words)
    string(REGEX MATCHALL "nesexpand[-_][0-9][0-9A-Za-z.+~]*" names "${words}")
    list(TRANSFORM names REPLACE "[.]+$" "")  # a full stop after the name
    list(REMOVE_DUPLICATES names)
    foreach(name IN LISTS names)
      if(NOT name STREQUAL "nesexpand-${version}" AND NOT name STREQUAL "nesexpand_${version}")
        string(APPEND wrong "  ${document} names ${name}\n")
      endif()
    endforeach()
  endforeach()
  if(wrong)
    message(FATAL_ERROR "Not the version in CMakeLists.txt, ${version}:\n${wrong}")
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
