#!/bin/bash
# Starts the Windows build of nesexpand as Windows programs do, under Wine
# on a virtual display: as Explorer does, double-clicked and with a file
# dropped onto it, and from the console window of another program, as cmd
# or a script run in a console has it. Started by Explorer, after a
# failure its console window must stay until Enter is typed, and after a
# success it must close at once; started by any other program it never
# waits.
#   explorer_test.sh LAUNCHER TOOL RUNNER...
# LAUNCHER: tests/windows/explorer.cc, built as explorer.exe. RUNNER:
# cmake/wine-run.sh. Exits 77 (skipped) without Xvfb.
set -u
export LC_ALL=C.UTF-8
skip() { echo "explorer: skipped: $1"; exit 77; }
command -v xvfb-run > /dev/null || skip "xvfb-run is not installed"
command -v xauth > /dev/null || skip "xauth, which xvfb-run needs, is not installed"
. "$(dirname "$0")/common.sh"
launcher=$(absolute "$1")
tool=$(absolute "$2")
shift 2
run=("$@")
[ ${#run[@]} -gt 0 ] || skip "the start from Explorer is staged under Wine only"
if [ -z "${DISPLAY:-}" ]; then
  # Wine gives a console program a window of its own only when its server
  # started with a display: wait for a server started without one to end.
  timeout 120 "${run[@]}" wineserver -w || { echo "FAIL: Wine's server for this prefix did not end"; exit 1; }
  exec xvfb-run -a "$0" "$launcher" "$tool" "${run[@]}"
fi

make_images
failures=0
fail() { echo "FAIL [$1]: $2"; failures=$((failures + 1)); }
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
# Started from a folder whose name no console code page but UTF-8 shows
# whole, as the usage line names the tool by its path.
mkdir "$root/José" && cp "$tool" "$root/José/nesexpand.exe" || exit 1
exe=$(windows_path "$root/José/nesexpand.exe")
# The launcher under another name starts the tool from a console of its own.
explorer=$(windows_path "$launcher")
cp "$launcher" "$root/console.exe" || exit 1
console=$(windows_path "$root/console.exe")
press_enter="Press Enter to close this window."

# start CASE SETUP REPORT FILES LAUNCHER TOOL [FILE]: in a fresh folder,
# runs SETUP, then has LAUNCHER start TOOL with FILE, a file in that
# folder, as its argument (dropped onto it, from Explorer), and verifies
# (common.sh) what the launcher saw, in REPORT: the window's text, whether
# the tool read what was typed there until Enter came, and its exit status.
start() {
  local case=$1 setup=$2 report=$3 files=$4
  enter_new_folder case && eval "$setup" && rm -f "$root/stdout" || exit 1
  "${run[@]}" "$5" "$(windows_path "$root/stdout")" "$6" \
    ${7:+"$(windows_path "$PWD/$7")"} > "$root/stderr" 2>&1
  status=$?
  verify "$case" 0 "$report"$'\n' "$files"
}

start "double-clicked" "" \
  "usage:  $exe <srcfile>
Drop a .nes file onto nesexpand.exe to expand it.
$press_enter
waited for Enter
exit 1" "" "$explorer" "$exe"
short_file="mkdir 'my roms'; head -c 100 \"\$source\" > 'my roms/ぼうけん.nes'"
start "short file dropped" "$short_file" \
  "Source file is too short.
$press_enter
waited for Enter
exit 1" "my roms d my roms/ぼうけん.nes f 100" "$explorer" "$exe" "my roms/ぼうけん.nes"
start "image dropped" "mkdir 'my roms'; cp \"\$source\" 'my roms/ぼうけん.nes'" "exit 0" \
  "my roms d my roms/ぼうけん.nes source my roms/ぼうけん_expanded.nes expanded" \
  "$explorer" "$exe" "my roms/ぼうけん.nes"
start "no argument, from a console" "" "code page 437
usage:  $exe <srcfile>
exit 1" "" "$console" "$exe"
start "short file, from a console" "$short_file" "code page 437
Source file is too short.
exit 1" "my roms d my roms/ぼうけん.nes f 100" "$console" "$exe" "my roms/ぼうけん.nes"
"${run[@]}" wineserver -w  # before the display goes

[ "$failures" = 0 ] || exit 1
echo "explorer: the window waits after each failure from Explorer, and only then"
