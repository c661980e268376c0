#!/bin/bash
# Checks the release packages that cpack wrote into a build folder: what
# each holds, and that the tool inside runs on its own.
#   package_test.sh BUILD_DIR [RUNNER...]
# The .deb and the .tar.gz must hold the tool, the manual page, README.md
# and LICENSE (and the web page, if it was built); the .zip the .exe,
# README.md and LICENSE, and an .exe that imports only Windows' own DLLs.
set -u
build=$(realpath "$1")
shift
sample=$(realpath "$(dirname "$0")/../examples/sample.nes")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL [$package]: $*"; failures=$((failures + 1)); }
# fail_each PREFIX: one failure for each line on standard input.
fail_each() { local line; while read -r line; do fail "$1$line"; done; }

# expect_files LISTING NAME...: each NAME (an extended regular expression
# for a whole line) is in LISTING, and nothing else is a file there.
expect_files() {
  local listing=$1 name
  shift
  for name in "$@"; do grep -qxE "$name" <<< "$listing" || fail "holds no $name"; done
  local pattern
  pattern=$(printf '%s|' "$@")
  fail_each "unexpected: " < <(grep -vxE "${pattern%|}" <<< "$listing")
}

# runs_on_sample TOOL: the tool, started by the runner, expands the sample.
runs_on_sample() {
  rm -rf "$work/run" && mkdir "$work/run" && cp "$sample" "$work/run/game.nes"
  (cd "$work/run" && "$@" game.nes) > "$work/stdout" 2>&1 || fail "the tool failed: $(cat "$work/stdout")"
  [ -s "$work/stdout" ] && fail "the tool printed: $(cat "$work/stdout")"
  [ "$(wc -c 2> /dev/null < "$work/run/game_expanded.nes")" = 40976 ] ||
    fail "the tool wrote no 40,976-byte image"
}

# static_on_its_own TOOL: a static Linux build needs no shared library,
# not even the dynamic loader.
static=$(grep -q '^NESEXPAND_STATIC:BOOL=ON' "$build/CMakeCache.txt" && echo yes)
static_on_its_own() {
  [ -n "$static" ] || return 0
  fail_each "needs: " < <(readelf -dlW "$1" | grep -E 'NEEDED|program interpreter')
}

page=""
grep -q '^NESEXPAND_WEB_PAGE:FILEPATH=.' "$build/CMakeCache.txt" && page="share/nesexpand/nesexpand.html"
checked=0

for package in "$build"/*.deb; do
  [ -e "$package" ] || continue
  checked=$((checked + 1))
  expect_files "$(dpkg-deb -c "$package" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./||')" \
    usr/bin/nesexpand usr/share/man/man1/nesexpand.1 usr/share/doc/nesexpand/README.md \
    usr/share/doc/nesexpand/LICENSE ${page:+usr/$page}
  for field in Package Version Architecture Maintainer Section Description; do
    [ -n "$(dpkg-deb -f "$package" $field)" ] || fail "no $field field"
  done
  [ "$(dpkg-deb -f "$package" Section)" = utils ] || fail "section is not utils"
  [ "$(dpkg-deb -f "$package" Description | wc -l)" -gt 1 ] || fail "no long description"
  rm -rf "$work/root" && dpkg -x "$package" "$work/root"
  static_on_its_own "$work/root/usr/bin/nesexpand"
  runs_on_sample "$@" "$work/root/usr/bin/nesexpand"
done

for package in "$build"/*.tar.gz; do
  case $package in *-Source.tar.gz | "$build/*.tar.gz") continue ;; esac  # the source archive, or none
  checked=$((checked + 1))
  top=$(basename "$package" .tar.gz)
  expect_files "$(tar tzf "$package" | grep -v '/$')" "$top/bin/nesexpand" \
    "$top/share/man/man1/nesexpand.1" "$top/share/doc/nesexpand/README.md" \
    "$top/share/doc/nesexpand/LICENSE" ${page:+"$top/$page"}
  rm -rf "$work/root" && mkdir "$work/root" && tar xzf "$package" -C "$work/root"
  static_on_its_own "$work/root/$top/bin/nesexpand"
  runs_on_sample "$@" "$work/root/$top/bin/nesexpand"
done

# Windows' own DLLs: what a fresh Windows installation carries.
system_dlls='kernel32|msvcrt|ntdll|advapi32|user32|shell32|ucrtbase|api-ms-win-[a-z0-9-]+'
for package in "$build"/*.zip; do
  [ -e "$package" ] || continue
  checked=$((checked + 1))
  top=$(basename "$package" .zip)
  expect_files "$(unzip -Z1 "$package" | grep -v '/$')" "$top/nesexpand.exe" "$top/README.md" "$top/LICENSE"
  rm -rf "$work/root" && mkdir "$work/root" && unzip -q "$package" -d "$work/root"
  imports=$(x86_64-w64-mingw32-objdump -p "$work/root/$top/nesexpand.exe" | sed -n 's/^\s*DLL Name: //p')
  [ -n "$imports" ] || fail "no imports were read"
  fail_each "imports a DLL that Windows does not have: " \
    < <(grep -viE "^($system_dlls)\.dll$" <<< "$imports")
  runs_on_sample "$@" "$work/root/$top/nesexpand.exe"
done

[ "$checked" -gt 0 ] || { package=$build; fail "no package found"; }
[ "$failures" = 0 ] && echo "packages: $checked checked, all hold what they should"
exit $((failures > 0))
