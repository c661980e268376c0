# The names and dates that the release files carry, shared by the build,
# cpack and the doc files. Run as a script, it prints the CPU names for a
# list of processor names, for the package test:
#   cmake -DPROCESSORS="x86_64;arm64" -P cmake/release_names.cmake

# nesexpand_cpu_names(PROCESSOR ARCHIVE_VAR DEBIAN_VAR): the CPU's name in
# the archives' file names, the same on every system (x86_64, aarch64, ...),
# and its Debian architecture, for a processor name as CMake reports it
# (uname -m on Linux and macOS, AMD64 or ARM64 on Windows, amd64 or arm64
# on FreeBSD). An unknown name is kept as it is, in lower case, and gives
# no Debian architecture.
function(nesexpand_cpu_names processor archive_var debian_var)
  string(TOLOWER "${processor}" cpu)
  # Each row: a pattern for the processor names, the archives' name,
  # Debian's name.
  set(rows
    "x86_64|amd64|x64 x86_64 amd64"
    "aarch64|arm64 aarch64 arm64"
    "i[3-6]86|x86 i686 i386"
    "armv7.*|armv8l|arm|armhf armhf armhf"
    "armv[4-6].*|armel armel armel"
    "s390x s390x s390x"
    "ppc64le|powerpc64le|ppc64el ppc64le ppc64el"
    "ppc64|powerpc64 ppc64 ppc64"
    "ppc|powerpc powerpc powerpc"
    "riscv64 riscv64 riscv64"
    "loongarch64|loong64 loongarch64 loong64"
    "mips64el mips64el mips64el"
    "mipsel mipsel mipsel"
    "sparc64 sparc64 sparc64"
    "alpha alpha alpha"
    "m68k m68k m68k"
    "parisc|hppa hppa hppa"
    "sh4 sh4 sh4"
    "ia64 ia64 ia64")
  foreach(row IN LISTS rows)
    string(REPLACE " " ";" row "${row}")
    list(GET row 0 pattern)
    if(cpu MATCHES "^(${pattern})$")
      list(GET row 1 archive)
      list(GET row 2 debian)
      set(${archive_var} ${archive} PARENT_SCOPE)
      set(${debian_var} ${debian} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${archive_var} ${cpu} PARENT_SCOPE)
  set(${debian_var} "" PARENT_SCOPE)
endfunction()

# A release's heading in CHANGELOG.md: "## VERSION (YYYY-MM-DD)".
set(nesexpand_release_heading
    "^## ([^ ]+) [(]([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])[)]$")

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

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE AND DEFINED PROCESSORS)
  foreach(processor IN LISTS PROCESSORS)
    nesexpand_cpu_names(${processor} archive debian)
    message("${processor} ${archive} ${debian}")
  endforeach()
endif()
