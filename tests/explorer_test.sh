#!/bin/bash
# Starts the Windows build of nesexpand as Windows programs do, under Wine
# on a virtual display: as Explorer does, double-clicked and with a file
# dropped onto it, and from the console window of another program, as cmd
# or a script run in a console has it. Started by Explorer, after a
# failure its console window must stay until Enter is typed, and after a
# success it must close at once; started by any other program it never
# waits. What a console's code page could change runs again under Unix
# locales that give Windows programs other code pages (see below).
#   explorer_test.sh LAUNCHER TOOL RUNNER...
# LAUNCHER: tests/windows/explorer.cc, built as explorer.exe. RUNNER:
# cmake/wine-run.sh. Exits 77 (skipped) without Xvfb.
set -u
export LC_ALL=C.UTF-8
skip() { echo "explorer: skipped${2:+ [$2]}: $1"; }
command -v xvfb-run > /dev/null || { skip "xvfb-run is not installed"; exit 77; }
command -v xauth > /dev/null || { skip "xauth, which xvfb-run needs, is not installed"; exit 77; }
. "$(dirname "$0")/common.sh"
launcher=$(absolute "$1")
tool=$(absolute "$2")
shift 2
run=("$@")
[ ${#run[@]} -gt 0 ] || { skip "the start from Explorer is staged under Wine only"; exit 77; }
if [ -z "${DISPLAY:-}" ]; then
  # Wine gives a console program a window of its own only when its server
  # started with a display: wait for a server started without one to end.
  timeout 120 "${run[@]}" wineserver -w || { echo "FAIL: Wine's server for this prefix did not end"; exit 1; }
  exec xvfb-run -a "$0" "$launcher" "$tool" "${run[@]}"
fi

make_images
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
# Started from a folder whose name no console code page but UTF-8 shows
# whole, as the usage line names the tool by its path.
mkdir "$root/José" && cp "$tool" "$root/José/nesexpand.exe" || exit 1
exe=$(windows_path "$root/José/nesexpand.exe")
# The launcher under another name starts the tool from a console of its own.
explorer=$(windows_path "$launcher")
cp "$launcher" "$root/console.exe" || exit 1
console=$(windows_path "$root/console.exe")
# The tool as Windows before 10 1903 runs it, which does not know the
# manifest's activeCodePage: its arguments then come in the ANSI code page,
# and file names must be converted by that one, as fopen converts them,
# not by the OEM one, which differs. A copy whose element has another name
# stands in for that Windows.
LC_ALL=C sed 's/activeCodePage/activeCodePagX/g' "$tool" > "$root/nesexpand-ansi.exe" || exit 1
cmp -s "$tool" "$root/nesexpand-ansi.exe" && { echo "FAIL: the tool's manifest sets no code page"; exit 1; }
ansi_exe=$(windows_path "$root/nesexpand-ansi.exe")
press_enter="Press Enter to close this window."

# start CASE SETUP REPORT FILES LAUNCHER TOOL [FILE]: in a fresh folder,
# runs SETUP, then has LAUNCHER start TOOL with FILE, a file in that
# folder, as its argument (dropped onto it, from Explorer), Windows
# programs running in $locale, and verifies (common.sh) what the launcher
# saw, in REPORT: the window's text, whether the tool read what was typed
# there until Enter came, and its exit status.
start() {
  local case="$1 ($locale)" setup=$2 report=$3 files=$4
  enter_new_folder case && eval "$setup" && rm -f "$root/stdout" || exit 1
  LC_ALL=$locale "${run[@]}" "$5" "$(windows_path "$root/stdout")" "$6" \
    ${7:+"$(windows_path "$PWD/$7")"} > "$root/stderr" 2>&1
  status=$?
  verify "$case" 0 "$report"$'\n' "$files"
}

# Wine takes a Windows program's code pages from the Unix locale: the
# ANSI and the OEM one, which the tool's manifest makes UTF-8 both, and a
# console's, which stays the locale's OEM one, as on Windows. C's stands
# for English (ANSI 1252, OEM 437), German has another OEM one (850), and
# Japanese's holds characters of two bytes (932). What a console shows runs
# in each; the rest, the same in any, in the first.
short_file="mkdir 'my roms'; head -c 100 \"\$source\" > 'my roms/ぼうけん.nes'"
for setting in "C.UTF-8 437" "de_DE.UTF-8 850" "ja_JP.UTF-8 932"; do
  read -r locale code_page <<< "$setting"
  if [ "$(LC_ALL=$locale locale charmap 2> /dev/null)" != UTF-8 ]; then
    skip "the locale is not generated" "$locale"
    continue
  fi
  start "no argument, from a console" "" "code page $code_page
usage:  $exe <srcfile>
exit 1" "" "$console" "$exe"
  [ "$locale" = C.UTF-8 ] || continue

  start "short file, from a console" "$short_file" "code page $code_page
Source file is too short.
exit 1" "my roms d my roms/ぼうけん.nes f 100" "$console" "$exe" "my roms/ぼうけん.nes"
  # The name comes in ANSI 1252; converted by OEM 437 it names no file.
  start "café.nes and a hard link of it, before Windows 10 1903" \
    "cp \"\$source\" café.nes; ln café.nes café_expanded.nes" "code page $code_page
Source file and expanded ROM file are the same file.
exit 1" "café.nes source café_expanded.nes source" "$console" "$ansi_exe" café.nes
  start "double-clicked" "" \
    "usage:  $exe <srcfile>
Drop a .nes file onto nesexpand.exe to expand it.
$press_enter
waited for Enter
exit 1" "" "$explorer" "$exe"
  start "short file dropped" "$short_file" \
    "Source file is too short.
$press_enter
waited for Enter
exit 1" "my roms d my roms/ぼうけん.nes f 100" "$explorer" "$exe" "my roms/ぼうけん.nes"
  start "image dropped" "mkdir 'my roms'; cp \"\$source\" 'my roms/ぼうけん.nes'" "exit 0" \
    "my roms d my roms/ぼうけん.nes source my roms/ぼうけん_expanded.nes expanded" \
    "$explorer" "$exe" "my roms/ぼうけん.nes"
done
"${run[@]}" wineserver -w  # before the display goes

[ "$failures" = 0 ] || exit 1
echo "explorer: the window waits after each failure from Explorer, and only then"
