#!/bin/bash
# Checks the release files that cpack wrote into a build folder: what each
# holds, that every entry is root's with a plain mode (folders 0755, files
# 0644 or 0755), that FILE.sha256 verifies it, and that the tool inside
# runs on its own; the .deb with lintian too, and the source archive
# against git's list of the tree's files.
#   package_test.sh BUILD_DIR [RUNNER...]
# The .deb and the .tar.gz hold the tool, the manual page, README.md with
# its pictures, copyright and changelog (and the web page, if it was
# built); the .zip the .exe, README.md with its pictures, LICENSE and
# CHANGELOG.md, and an .exe that imports only Windows' own DLLs.
set -u
export LC_ALL=C
build=$(realpath "$1")
shift
here=$(dirname "$(realpath "$0")")
sample=$here/../examples/sample.nes
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

# plain_entries LISTING [OWNER]: in a listing like tar tv's, every entry has
# a plain mode (a symbolic link, as git may track, has no mode of its own)
# and, if OWNER is given, that owner.
plain_entries() {
  fail_each "not a plain entry: " < <(awk -v owner="${2-}" 'NF &&
    ($1 !~ /^(drwxr-xr-x|-rw-r--r--|-rwxr-xr-x|lrwxrwxrwx)$/ || (owner != "" && $2 != owner))' <<< "$1")
}

# released: counts the package, and checks its checksum file.
released() {
  checked=$((checked + 1))
  local sums=$package.sha256
  [ -f "$sums" ] && [ "$(cut -d ' ' -f 3- "$sums")" = "$(basename "$package")" ] &&
    (cd "$build" && sha256sum --check --status "$(basename "$sums")") ||
    fail "$(basename "$sums") is missing, names another file or does not match"
}

# runs_on_sample TOOL: the tool, started by the runner, expands the sample.
runs_on_sample() {
  rm -rf "$work/run" && mkdir "$work/run" && cp "$sample" "$work/run/game.nes"
  (cd "$work/run" && "$@" game.nes) > "$work/stdout" 2>&1 || fail "the tool failed: $(cat "$work/stdout")"
  [ -s "$work/stdout" ] && fail "the tool printed: $(cat "$work/stdout")"
  [ "$(wc -c 2> /dev/null < "$work/run/game_expanded.nes")" = 40976 ] ||
    fail "the tool wrote no 40,976-byte image"
}

# A build setting from the build folder's cache.
setting() { sed -n "s/^$1=//p" "$build/CMakeCache.txt"; }
source_dir=$(setting 'CMAKE_HOME_DIRECTORY:INTERNAL')

# static_on_its_own TOOL: a static Linux build needs no shared library,
# not even the dynamic loader.
static=$([ "$(setting 'NESEXPAND_STATIC:BOOL')" = ON ] && echo yes)
static_on_its_own() {
  [ -n "$static" ] || return 0
  fail_each "needs: " < <(readelf -dlW "$1" | grep -E 'NEEDED|program interpreter')
}

page=$([ -n "$(setting 'NESEXPAND_WEB_PAGE:FILEPATH')" ] && echo share/nesexpand/nesexpand.html)
# The README's pictures of the page, wherever a README.md goes.
pictures=$(compgen -G "$source_dir/web/screenshot*.png" > /dev/null && echo 'web/screenshot[^/]*[.]png')
doc=share/doc/nesexpand
# The Linux install's files, under the .deb's or the tarball's top.
linux_files() {
  echo "$1/bin/nesexpand $1/share/man/man1/nesexpand[.]1[.]gz $1/$doc/README[.]md $1/$doc/copyright"
  echo "$1/$doc/changelog[.]gz ${pictures:+$1/$doc/$pictures} ${page:+$1/$page}"
}
checked=0

# The CPU names in the archives' and the .deb's names, for the processor
# names that CMake reports on each system.
package="CPU names"
processors="x86_64;AMD64;amd64;aarch64;arm64;ARM64;i686;i386;x86;armv7l;arm;armv6l;s390x"
processors+=";ppc64le;powerpc64le;ppc64;riscv64;loongarch64;sparc"
fail_each "" < <(diff <(cmake -DPROCESSORS="$processors" -P "$here/../cmake/release_names.cmake" 2>&1) \
  - << 'EOF' | grep '^[<>]'
x86_64 x86_64 amd64
AMD64 x86_64 amd64
amd64 x86_64 amd64
aarch64 aarch64 arm64
arm64 aarch64 arm64
ARM64 aarch64 arm64
i686 i686 i386
i386 i686 i386
x86 i686 i386
armv7l armhf armhf
arm armhf armhf
armv6l armel armel
s390x s390x s390x
ppc64le ppc64le ppc64el
powerpc64le ppc64le ppc64el
ppc64 ppc64 ppc64
riscv64 riscv64 riscv64
loongarch64 loongarch64 loong64
sparc sparc 
EOF
)

for package in "$build"/*.deb; do
  [ -e "$package" ] || continue
  released
  listing=$(dpkg-deb -c "$package")
  plain_entries "$listing" root/root
  # lintian's overrides, for the static binary or the page.
  overrides=$([ -n "$static$page" ] && echo usr/share/lintian/overrides/nesexpand)
  # shellcheck disable=SC2046
  expect_files "$(awk '$1 !~ /^d/ { print $6 }' <<< "$listing" | sed 's|^\./||')" \
    $(linux_files usr) $overrides
  for field in Package Version Architecture Maintainer Section Description; do
    [ -n "$(dpkg-deb -f "$package" $field)" ] || fail "no $field field"
  done
  [ "$(dpkg-deb -f "$package" Section)" = utils ] || fail "section is not utils"
  [ "$(dpkg-deb -f "$package" Description | wc -l)" -gt 1 ] || fail "no long description"
  if command -v lintian > /dev/null; then
    lintian=$(lintian --fail-on error,warning "$package" 2> /dev/null) ||
      fail_each "lintian: " <<< "${lintian:-lintian failed}"
  else
    echo "skipped: [$package] lintian is not installed"
  fi
  rm -rf "$work/root" && dpkg -x "$package" "$work/root"
  static_on_its_own "$work/root/usr/bin/nesexpand"
  runs_on_sample "$@" "$work/root/usr/bin/nesexpand"
done

for package in "$build"/*.tar.gz; do
  [ -e "$package" ] || continue
  released
  listing=$(tar tvzf "$package")
  plain_entries "$listing" root/root
  top=$(basename "$package" .tar.gz)
  files=$(tar tzf "$package" | grep -v '/$')
  if [[ $package == *-Source.tar.gz ]]; then
    # The files that git tracks, wherever the tree and the build folder are.
    if tracked=$(git -C "$source_dir" ls-files 2> /dev/null); then
      fail_each "not as git ls-files: " < <(diff <(sed -n "s|^$top/||p" <<< "$files" | sort) \
        <(sort <<< "$tracked") | grep '^[<>]')
    else
      echo "skipped: [$package] $source_dir is no git checkout, so the list is not checked"
    fi
    continue
  fi
  # shellcheck disable=SC2046
  expect_files "$files" $(linux_files "$top")
  rm -rf "$work/root" && mkdir "$work/root" && tar xzf "$package" -C "$work/root"
  static_on_its_own "$work/root/$top/bin/nesexpand"
  runs_on_sample "$@" "$work/root/$top/bin/nesexpand"
done

# pe_machine EXE: the CPU field of a Windows executable's header, in hex.
pe_machine() {
  local header
  header=$(od -An -tu1 -j60 -N4 "$1" | awk '{ print $1 + 256 * ($2 + 256 * ($3 + 256 * $4)) }')
  od -An -tx1 -j$((header + 4)) -N2 "$1" | awk '{ print $2 $1 }'
}
# Windows' own DLLs: what a fresh Windows installation carries.
system_dlls='kernel32|msvcrt|ntdll|advapi32|user32|shell32|ucrtbase|api-ms-win-[a-z0-9-]+'
for package in "$build"/*.zip; do
  [ -e "$package" ] || continue
  released
  plain_entries "$(zipinfo "$package" | grep -E '^[-d]')"
  top=$(basename "$package" .zip)
  expect_files "$(unzip -Z1 "$package" | grep -v '/$')" "$top/nesexpand[.]exe" "$top/README[.]md" \
    "$top/LICENSE" "$top/CHANGELOG[.]md" ${pictures:+"$top/$pictures"}
  rm -rf "$work/root" && mkdir "$work/root" && unzip -q "$package" -d "$work/root"
  exe=$work/root/$top/nesexpand.exe
  # An objdump that knows the .exe's CPU: MinGW's for its own, or LLVM's,
  # which reads them all.
  machine=$(pe_machine "$exe")
  case $machine in
    8664) readers="x86_64-w64-mingw32-objdump llvm-objdump" ;;
    014c) readers="i686-w64-mingw32-objdump llvm-objdump" ;;
    *) readers=llvm-objdump ;;
  esac
  reader=$(for r in $readers; do command -v "$r" && break; done)
  if [ -n "$reader" ]; then
    imports=$("$reader" -p "$exe" | sed -n 's/^\s*DLL Name: //p')
    [ -n "$imports" ] || fail "no imports were read"
    fail_each "imports a DLL that Windows does not have: " \
      < <(grep -viE "^($system_dlls)\.dll$" <<< "$imports")
  else
    echo "skipped: [$package] no $readers here to read the imports of a machine $machine .exe"
  fi
  runs_on_sample "$@" "$exe"
done

[ "$checked" -gt 0 ] || { package=$build; fail "no package found"; }
[ "$failures" = 0 ] && echo "packages: $checked checked, all hold what they should"
exit $((failures > 0))
