# The names and dates that the release files carry, shared by the build,
# cpack and the doc files.

# nesexpand_cpu_name(PROCESSOR VAR): the CPU's name in the archives' file
# names, for a processor name as CMake reports it: x86_64 and aarch64 for
# their other names (AMD64 and ARM64 on Windows, amd64 on FreeBSD, arm64 on
# macOS), so that each CPU has one name on every system; any other name in
# lower case.
function(nesexpand_cpu_name processor var)
  string(TOLOWER "${processor}" cpu)
  string(REGEX REPLACE "^(amd64|x64)$" x86_64 cpu "${cpu}")
  string(REGEX REPLACE "^arm64$" aarch64 cpu "${cpu}")
  set(${var} ${cpu} PARENT_SCOPE)
endfunction()

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
  set(saved "$ENV{SOURCE_DATE_EPOCH}")
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})  # the time that string(TIMESTAMP) formats
  string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  set(ENV{SOURCE_DATE_EPOCH} "${saved}")
  set(${epoch_var} ${epoch} PARENT_SCOPE)
  set(${debian_var} "${date}" PARENT_SCOPE)
endfunction()
