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
begin() { case=$1; cd "$(mktemp -d "$root/case.XXXX")" || exit 1; }
image() { head -c "$1" /dev/urandom > "$2"; }

# expect STATUS MESSAGE COMMAND...: runs COMMAND, which must exit with STATUS,
# print exactly MESSAGE (printf escapes) on standard output and nothing else.
expect() {
  local status=$1 message=$2 got
  shift 2
  "$@" > "$root/stdout" 2> "$root/stderr"
  got=$?
  [ "$got" = "$status" ] || fail "exit status $got, expected $status"
  printf "$message" | cmp -s - "$root/stdout" || fail "printed '$(cat "$root/stdout")'"
  [ -s "$root/stderr" ] && fail "wrote to standard error: $(cat "$root/stderr")"
}

# files LISTING: the folder holds exactly these entries (name, type, size of regular files).
files() {
  local now
  now=$(find . -mindepth 1 \( -type f -printf '%P f %s;' \) -o -printf '%P %y;' | tr ';' '\n' | sort | paste -sd ' ')
  [ "$now" = "$1" ] || fail "folder holds '$now', expected '$1'"
}

begin "no argument"
expect 1 "usage:  $tool <srcfile>\n" "$tool"
files ""
begin "no argument 0 either"
expect 1 "usage:  nesexpand <srcfile>\n" perl -e 'exec {$ARGV[0]} ()' "$tool"

for missing in missing.nes "" dir.nes; do
  begin "source '$missing' cannot be opened"
  mkdir dir.nes
  expect 1 "Unable to open source file.\n" "$tool" "$missing"
  files "dir.nes d"
done

begin "output cannot be created"
image 24592 game.nes
cp game.nes copy
mkdir game_expanded.nes
expect 1 "Unable to create expanded ROM file.\n" "$tool" game.nes
files "copy f 24592 game.nes f 24592 game_expanded.nes d"
cmp -s game.nes copy || fail "source changed"

for size in 0 1 24591; do
  begin "source of $size bytes"
  image "$size" game.nes
  echo old > game_expanded.nes
  expect 1 "Source file is too short.\n" "$tool" game.nes
  files "game.nes f $size game_expanded.nes f 4"
  [ "$(cat game_expanded.nes)" = old ] || fail "existing output changed"
done

begin "read error"
expect 1 "Unable to read source file.\n" "$tool" /proc/self/mem
files ""

begin "out of memory"
image 24592 game.nes
echo old > game_expanded.nes
if ldd "$tool" | grep -q libasan; then
  echo "cli: out of memory not checked: the sanitizers bring their own allocator"
else
  expect 1 "Out of memory.\n" env LD_PRELOAD="$no_memory" "$tool" game.nes
fi
files "game.nes f 24592 game_expanded.nes f 4"

begin "write error on a device behind a link"
image 24592 game.nes
ln -s /dev/full game_expanded.nes
expect 1 "Unable to write expanded ROM file.\n" "$tool" game.nes
files "game.nes f 24592 game_expanded.nes l"
[ -c /dev/full ] || fail "/dev/full is gone"

begin "write error on a regular file"
image 24592 game.nes
echo old > game_expanded.nes
expect 1 "Unable to write expanded ROM file.\n" \
  bash -c 'ulimit -f 16 && trap "" XFSZ && exec "$0" game.nes' "$tool"
files "game.nes f 24592"

begin "success"
mkdir roms
image 30000 roms/long.nes
head -c 24592 roms/long.nes > roms/exact
cp roms/long.nes copy
echo stale > roms/long_expanded.nes
expect 0 "" "$tool" roms/long.nes ignored arguments
expect 0 "" "$tool" "$PWD/roms/exact"
files "copy f 30000 roms d roms/exact f 24592 roms/exact_expanded.nes f 40976 roms/long.nes f 30000 roms/long_expanded.nes f 40976"
cmp -s roms/long.nes copy || fail "source changed"
cmp -s roms/long_expanded.nes roms/exact_expanded.nes || fail "bytes past the image changed the output"
cmp -s -n 5506 -i $((0x2A88)):$((0x10)) roms/exact roms/exact_expanded.nes || fail "moved block is wrong"
cmp -s -n 8192 -i $((0x4010)):$((0x8010)) roms/exact roms/exact_expanded.nes || fail "CHR-ROM is wrong"

[ "$failures" = 0 ] && echo "cli: all cases passed"
exit $((failures > 0))
