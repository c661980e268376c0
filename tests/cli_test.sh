#!/bin/bash
# Runs the nesexpand binary given as $1, each case in a fresh temporary
# folder, and checks what it prints, its exit status and the files it leaves.
# $2 is a library that, preloaded, makes the image buffer's allocation fail.
set -u
tool=$(realpath "$1")
no_memory=$(realpath "$2")
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failures=0

fail() { echo "FAIL [$case]: $*"; failures=$((failures + 1)); }
image() { head -c "$1" /dev/urandom > "$2"; }

# check CASE SETUP STATUS MESSAGE FILES COMMAND...: in a fresh folder, runs
# SETUP, then COMMAND, which must exit with STATUS, print exactly MESSAGE
# (printf escapes) on standard output and nothing on standard error, and
# leave exactly FILES: name and type of each entry, and size of regular files.
check() {
  local setup=$2 status=$3 message=$4 listing=$5 got now
  case=$1
  shift 5
  cd "$(mktemp -d "$root/case.XXXX")" && eval "$setup" || exit 1
  "$@" > "$root/stdout" 2> "$root/stderr"
  got=$?
  [ "$got" = "$status" ] || fail "exit status $got, expected $status"
  printf "$message" | cmp -s - "$root/stdout" || fail "printed '$(cat "$root/stdout")'"
  [ -s "$root/stderr" ] && fail "wrote to standard error: $(cat "$root/stderr")"
  now=$(find . -mindepth 1 \( -type f -printf '%P f %s;' \) -o -printf '%P %y;' |
    tr ';' '\n' | sort | paste -sd ' ')
  [ "$now" = "$listing" ] || fail "folder holds '$now', expected '$listing'"
}

full_source="image 24592 game.nes"
old_output="echo old > game_expanded.nes"  # 4 bytes, which a failed run must leave alone
cannot_open="Unable to open source file.\n"
cannot_write="Unable to write expanded ROM file.\n"

check "no argument" "" 1 "usage:  $tool <srcfile>\n" "" "$tool"
check "no argument 0 either" "" 1 "usage:  nesexpand <srcfile>\n" "" perl -e 'exec {$ARGV[0]} ()' "$tool"
check "missing source" "$old_output" 1 "$cannot_open" "game_expanded.nes f 4" "$tool" game.nes
check "empty source name" "" 1 "$cannot_open" "" "$tool" ""
check "directory as source" "mkdir game.nes; $old_output" 1 "$cannot_open" \
  "game.nes d game_expanded.nes f 4" "$tool" game.nes
check "output cannot be created" "$full_source; mkdir game_expanded.nes" 1 \
  "Unable to create expanded ROM file.\n" "game.nes f 24592 game_expanded.nes d" "$tool" game.nes
for size in 0 1 24591; do
  check "source of $size bytes" "image $size game.nes; $old_output" 1 "Source file is too short.\n" \
    "game.nes f $size game_expanded.nes f 4" "$tool" game.nes
done
check "read error" "" 1 "Unable to read source file.\n" "" "$tool" /proc/self/mem
if ldd "$tool" | grep -q libasan; then
  echo "cli: out of memory not checked: the sanitizers bring their own allocator"
else
  check "out of memory" "$full_source; $old_output" 1 "Out of memory.\n" \
    "game.nes f 24592 game_expanded.nes f 4" env LD_PRELOAD="$no_memory" "$tool" game.nes
fi
check "write error on a device behind a link" "$full_source; ln -s /dev/full game_expanded.nes" 1 \
  "$cannot_write" "game.nes f 24592 game_expanded.nes l" "$tool" game.nes
[ -c /dev/full ] || fail "/dev/full is gone"
check "write error on a regular file" "$full_source; $old_output" 1 "$cannot_write" "game.nes f 24592" \
  bash -c 'ulimit -f 16 && trap "" XFSZ && exec "$0" game.nes' "$tool"

# An existing output is replaced, further arguments are ignored, and bytes
# past the first 24,592 make no difference.
check "success" "mkdir roms; image 30000 roms/long.nes; echo stale > roms/long_expanded.nes" 0 "" \
  "roms d roms/long.nes f 30000 roms/long_expanded.nes f 40976" "$tool" roms/long.nes ignored arguments
head -c 24592 roms/long.nes > exact
"$tool" "$PWD/exact" && cmp -s exact_expanded.nes roms/long_expanded.nes || fail "output differs"
cmp -s -n 5506 -i $((0x2A88)):$((0x10)) exact exact_expanded.nes || fail "moved block is wrong"
cmp -s -n 8192 -i $((0x4010)):$((0x8010)) exact exact_expanded.nes || fail "CHR-ROM is wrong"

[ "$failures" = 0 ] && echo "cli: all cases passed"
exit $((failures > 0))
