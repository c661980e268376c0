#!/bin/bash
# Starts the Windows build of nesexpand as Explorer does, under Wine on a
# virtual display: double-clicked, and with a file dropped onto it. After a
# failure its console window must stay until Enter is typed; after a
# success it must close at once.
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
press_enter="Press Enter to close this window."

# explorer CASE SETUP REPORT FILES [DROPPED]: in a fresh folder, runs SETUP,
# then starts the tool with DROPPED, a file in that folder, dropped onto it,
# and verifies (common.sh) what the launcher saw, in REPORT: the window's
# text, whether the tool read what was typed there until Enter came, and
# its exit status.
explorer() {
  local case=$1 setup=$2 report=$3 files=$4
  enter_new_folder case && eval "$setup" && rm -f "$root/stdout" || exit 1
  "${run[@]}" "$launcher" "$(windows_path "$root/stdout")" "$exe" \
    ${5:+"$(windows_path "$PWD/$5")"} > "$root/stderr" 2>&1
  status=$?
  verify "$case" 0 "$report"$'\n' "$files"
}

explorer "double-clicked" "" \
  "usage:  $exe <srcfile>
Drop a .nes file onto nesexpand.exe to expand it.
$press_enter
waited for Enter
exit 1" ""
explorer "short file dropped" "mkdir 'my roms'; head -c 100 \"\$source\" > 'my roms/ぼうけん.nes'" \
  "Source file is too short.
$press_enter
waited for Enter
exit 1" "my roms d my roms/ぼうけん.nes f 100" "my roms/ぼうけん.nes"
explorer "image dropped" "mkdir 'my roms'; cp \"\$source\" 'my roms/ぼうけん.nes'" "exit 0" \
  "my roms d my roms/ぼうけん.nes source my roms/ぼうけん_expanded.nes expanded" "my roms/ぼうけん.nes"
"${run[@]}" wineserver -w  # before the display goes

[ "$failures" = 0 ] || exit 1
echo "explorer: the window waits after each failure and only then"
