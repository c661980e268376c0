#!/bin/bash
# Checks the programs of a macOS cross build (its unit tests too, where it
# built them), which cannot run here: each must be a Mach-O executable for
# CPU, made for macOS MINOS at the oldest, that links only the system's own
# libraries. Needs file and llvm-objdump.
#   macho_test.sh BUILD_DIR CPU MINOS    (CPU: arm64 or x86_64)
set -u
build=$1 cpu=$2 minos=$3
. "$(dirname "$0")/common.sh"

programs=(nesexpand make_sample)
grep -qx 'BUILD_TESTING:BOOL=ON' "$build/CMakeCache.txt" 2> /dev/null && programs+=(tests/nesexpand_tests)
for program in "${programs[@]}"; do
  path=$build/$program
  [ -f "$path" ] || { fail "$program" "was not built"; continue; }
  kind=$(file -b "$path")
  kind=${kind%%,*}
  [[ $kind == Mach-O* ]] || { fail "$program" "is no Mach-O file: $kind"; continue; }
  [ "$kind" = "Mach-O 64-bit $cpu executable" ] || fail "$program" "is no $cpu executable: $kind"
  made_for=$(llvm-objdump --macho --private-headers "$path" |
    awk '$2 == "LC_BUILD_VERSION" { found = 1 } found && $1 == "platform" { platform = $2 }
         found && $1 == "minos" { print platform, $2; exit }')
  [ "$made_for" = "macos $minos" ] || fail "$program" "is made for ${made_for:-no known system}, not macos $minos"
  # Every Mac program links libSystem; the system's other libraries are
  # under /usr/lib and /System, and Homebrew's are not.
  libraries=$(llvm-objdump --macho --dylibs-used "$path" | awk 'NR > 1 { print $1 }')
  grep -qx /usr/lib/libSystem.B.dylib <<< "$libraries" || fail "$program" "does not link libSystem"
  while read -r library; do
    [[ -z $library || $library == /usr/lib/* || $library == /System/Library/* ]] || fail "$program" "links $library"
  done <<< "$libraries"
  echo "$program: $kind, made for $made_for, links" $libraries
done

[ "$failures" = 0 ] || { echo "$failures failed"; exit 1; }
