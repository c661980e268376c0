# The names and dates that the release files carry, shared by the build,
# cpack and the doc files.

# nesexpand_cpu_name(PROCESSOR VAR): the CPU's name in the archives' file
# names, for a processor name as CMake reports it: x86_64 and aarch64 for
# their other names (AMD64 and ARM64 on Windows, amd64 on FreeBSD, arm64 on
# macOS), so that each CPU has one name on every system; any other name in
# lower case.
function(nesexpand_cpu_name processor var)
  string(TOLOWER "${processor}" cpu)
  if(cpu MATCHES "^(amd64|x64)$")
    set(cpu x86_64)
  elseif(cpu STREQUAL "arm64")
    set(cpu aarch64)
  endif()
  set(${var} ${cpu} PARENT_SCOPE)
endfunction()

# A release's heading in CHANGELOG.md: "## VERSION (YYYY-MM-DD)".
set(nesexpand_release_heading
    "^## ([^ ]+) [(](([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9]))[)]$")

# nesexpand_date(YEAR MONTH DAY EPOCH_VAR DEBIAN_VAR): midnight UTC of that
# day, in seconds since 1970 and as Debian's changelog writes a date
# ("Tue, 08 Dec 2026 00:00:00 +0000").
function(nesexpand_date year month day epoch_var debian_var)
  string(REGEX REPLACE "^0" "" m "${month}")
  string(REGEX REPLACE "^0" "" d "${day}")
  # Days since 1970-01-01, with years counted from March so that a leap
  # day is the last day of its year.
  set(y ${year})
  if(m LESS_EQUAL 2)
    math(EXPR y "${y} - 1")
  endif()
  math(EXPR days "${y} * 365 + ${y} / 4 - ${y} / 100 + ${y} / 400
                  + (153 * ((${m} + 9) % 12) + 2) / 5 + ${d} - 1 - 719468")
  set(weekdays Thu Fri Sat Sun Mon Tue Wed)  # 1970-01-01 was a Thursday
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  math(EXPR weekday "${days} % 7")
  list(GET weekdays ${weekday} weekday)
  math(EXPR m "${m} - 1")
  list(GET months ${m} month_name)
  math(EXPR epoch "${days} * 86400")
  set(${epoch_var} ${epoch} PARENT_SCOPE)
  set(${debian_var} "${weekday}, ${day} ${month_name} ${year} 00:00:00 +0000" PARENT_SCOPE)
endfunction()
