#!/bin/bash
# Checks the release files that cpack wrote into a build folder: what each
# holds, that every entry is root's with a plain mode (folders 0755, files
# 0644 or 0755), that FILE.sha256 verifies it, that its name names the CPU
# of the program inside, and that the program runs on its own; the .deb
# with lintian too, and the source archive against git's list of the
# commit's files. First it checks the Debian changelog and the manual page
# that the build makes from CHANGELOG.md and nesexpand.1.
#   package_test.sh BUILD_DIR [RUNNER...]
# The .deb and the .tar.gz hold the tool, the manual page, README.md with
# its pictures, copyright and changelog, and the web page if it was built
# (then also beside them, with its checksum); the .zip the .exe, README.md
# with its pictures, LICENSE and CHANGELOG.md, and an .exe that imports
# only Windows' own DLLs. A static build's archives add THIRD-PARTY-NOTICES
# for the libraries linked in, and its .deb names its C library's source in
# Built-Using.
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
# A static build's notices for what it links in, from glibc or MinGW-w64.
notices=$([ -n "$static" ] && echo THIRD-PARTY-NOTICES)
# The README's pictures of the page, wherever a README.md goes.
pictures=$(compgen -G "$source_dir/web/screenshot*.png" > /dev/null && echo 'web/screenshot[^/]*[.]png')
doc=share/doc/nesexpand
# The Linux install's files, under the .deb's or the tarball's top.
linux_files() {
  echo "$1/bin/nesexpand $1/share/man/man1/nesexpand[.]1[.]gz $1/$doc/README[.]md $1/$doc/copyright"
  echo "$1/$doc/changelog[.]gz ${pictures:+$1/$doc/$pictures} ${page:+$1/$page} ${notices:+$1/$doc/$notices}"
}
checked=0

# The Debian changelog keeps every character of CHANGELOG.md, and the
# manual page must name the version being built and its release date.
package="doc files"
mkdir "$work/docs"
echo '.TH NESEXPAND 1 2026-12-08 "nesexpand 1.0.0" "User Commands"' > "$work/docs/nesexpand.1"
cat > "$work/docs/CHANGELOG.md" << 'EOF'
# Changelog

## 1.0.0 (2026-12-08)

- Reads `roms[1` and `roms]2`; keeps `a;b` and `\;`.
  A hard line break\
  `C:\ROMs\`
- Last [item](x)

## 0.9.0 (2024-02-29)

- First
EOF
docs() {
  cmake -DSOURCE_DIR="$work/docs" -DOUTPUT_DIR="$work/docs" -DVERSION="$1" -DMAINTAINER="M <m@x>" \
    -P "$here/../cmake/release_docs.cmake" 2>&1
}
docs 1.0.0 > "$work/docs.log" || fail "the doc files were not made: $(cat "$work/docs.log")"
fail_each "changelog: " < <(diff <(gzip -dc "$work/docs/changelog.gz" 2>&1) - << 'EOF' | grep '^[<>]'
nesexpand (1.0.0) unstable; urgency=medium

  * Reads `roms[1` and `roms]2`; keeps `a;b` and `\;`.
    A hard line break\
    `C:\ROMs\`
  * Last [item](x)

 -- M <m@x>  Tue, 08 Dec 2026 00:00:00 +0000

nesexpand (0.9.0) unstable; urgency=medium

  * First

 -- M <m@x>  Thu, 29 Feb 2024 00:00:00 +0000
EOF
)
sed -i 's/^## 1.0.0 (2026-12-08)$/## 1.0.0 (2026-12-09)/' "$work/docs/CHANGELOG.md"
docs 1.0.0 | grep -q 'nesexpand.1 begins' || fail "a manual page dated otherwise than its release was taken"
docs 1.0.1 | grep -q 'newest release is "1.0.0", not 1.0.1' || fail "a CHANGELOG.md without the version was taken"

# pe_machine EXE: the CPU field of a Windows executable's header, in hex.
pe_machine() {
  local header
  header=$(od -An -tu1 -j60 -N4 "$1" | awk '{ print $1 + 256 * ($2 + 256 * ($3 + 256 * $4)) }')
  od -An -tx1 -j$((header + 4)) -N2 "$1" | awk '{ print $2 $1 }'
}
# cpu_of PROGRAM: the CPU that a Windows or ELF program is built for, as
# the archives' names and Debian name it: "x86_64 amd64", for instance.
cpu_of() {
  local machine
  if [ "$(head -c 2 "$1")" = MZ ]; then
    machine=pe$(pe_machine "$1")
  else  # ELF's e_machine, in the byte order that byte 5 gives
    machine=elf$(od -An -tu1 -j5 -N15 "$1" | awk '{ print $1 == 1 ? $14 + 256 * $15 : 256 * $14 + $15 }')
  fi
  case $machine in
    elf62 | pe8664) echo "x86_64 amd64" ;;
    elf183 | peaa64) echo "aarch64 arm64" ;;
    elf22) echo "s390x s390x" ;;
    *) echo "$machine" ;;
  esac
}
# names_cpu PROGRAM NAME: the release file's NAME ends in the CPU that
# PROGRAM is built for (cpack names it from what CMake reports).
names_cpu() {
  local cpu
  read -r -a cpu <<< "$(cpu_of "$1")"
  [[ $2 == *-${cpu[0]} || $2 == *_${cpu[1]-} ]] || fail "its name does not say ${cpu[*]}, the CPU of its program"
}

if [ -n "$page" ]; then
  package=$build/nesexpand.html
  released
fi

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
  # Every tag, down to the pedantic ones and the overrides that nothing
  # needs: an override is there only where its tag is.
  if command -v lintian > /dev/null; then
    lintian=$(lintian --pedantic --display-info --fail-on error,warning,info,pedantic "$package" 2> /dev/null) ||
      fail_each "lintian: " <<< "${lintian:-lintian failed}"
  else
    echo "skipped: [$package] lintian is not installed"
  fi
  rm -rf "$work/root" && dpkg -x "$package" "$work/root"
  static_on_its_own "$work/root/usr/bin/nesexpand"
  names_cpu "$work/root/usr/bin/nesexpand" "_$(dpkg-deb -f "$package" Architecture)"
  names_cpu "$work/root/usr/bin/nesexpand" "$(basename "$package" .deb)"
  # copyright: LICENSE's holder and text, in Debian's form.
  copyright=$work/root/usr/$doc/copyright
  grep -qxF "Copyright: $(sed -n 's/^Copyright (c) //p' "$source_dir/LICENSE")" "$copyright" &&
    diff -q <(sed -n '/^Permission/,$p' "$source_dir/LICENSE") <(sed -n 's/^ //p' "$copyright" | sed 's/^\.$//') \
      > /dev/null || fail "copyright does not carry LICENSE's holder and text"
  # A static build holds the C library: the source it came from is named,
  # in Built-Using and in the notices, and is what dpkg has installed.
  if [ -n "$static" ]; then
    built_using=$(dpkg-deb -f "$package" Built-Using)
    dpkg-query -W -f '${source:Package} (= ${source:Version})\n' 2> /dev/null | grep -qxF "$built_using" ||
      fail "Built-Using is \"$built_using\", no installed package's source"
    grep -qF "$built_using" "$work/root/usr/$doc/$notices" &&
      grep -q "Lesser General Public License, version 2.1 or later" "$work/root/usr/$doc/$notices" ||
      fail "THIRD-PARTY-NOTICES does not give the C library's licence and $built_using"
  fi
  [ -z "$page" ] || cmp -s "$work/root/usr/$page" "$build/nesexpand.html" ||
    fail "its page is not the nesexpand.html beside it"
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
    # Under nesexpand-VERSION/, with the time that dates every entry.
    top=${top%-Source}
    [ "$(cut -d / -f 1 <<< "$files" | sort -u)" = "$top" ] || fail "not all of it is under $top/"
    epoch=$(tar xzOf "$package" "$top/SOURCE_DATE_EPOCH" 2> /dev/null)
    [ "$(TZ=UTC0 tar tvzf "$package" --full-time | awk '{ print $4 "T" $5 }' | sort -u)" = \
      "$(TZ=UTC0 date -d "@${epoch:-x}" +%FT%T 2> /dev/null)" ] ||
      fail "its entries are not all dated SOURCE_DATE_EPOCH, \"$epoch\""
    # The commit's files, wherever the tree and the build folder are.
    if tracked=$(git -C "$source_dir" ls-tree -r --name-only HEAD 2> /dev/null); then
      fail_each "not as git ls-tree HEAD: " < <(diff <(sed -n "s|^$top/||p" <<< "$files" | sort) \
        <(printf '%s\nSOURCE_DATE_EPOCH\n' "$tracked" | sort) | grep '^[<>]')
    else
      echo "skipped: [$package] $source_dir is no git checkout, so the list is not checked"
    fi
    continue
  fi
  # shellcheck disable=SC2046
  expect_files "$files" $(linux_files "$top")
  rm -rf "$work/root" && mkdir "$work/root" && tar xzf "$package" -C "$work/root"
  static_on_its_own "$work/root/$top/bin/nesexpand"
  names_cpu "$work/root/$top/bin/nesexpand" "$top"
  [ -z "$page" ] || cmp -s "$work/root/$top/$page" "$build/nesexpand.html" ||
    fail "its page is not the nesexpand.html beside it"
  runs_on_sample "$@" "$work/root/$top/bin/nesexpand"
done

# Windows' own DLLs: what a fresh Windows installation carries.
system_dlls='kernel32|msvcrt|ntdll|advapi32|user32|shell32|ucrtbase|api-ms-win-[a-z0-9-]+'
for package in "$build"/*.zip; do
  [ -e "$package" ] || continue
  released
  plain_entries "$(zipinfo "$package" | grep -E '^[-d]')"
  top=$(basename "$package" .zip)
  expect_files "$(unzip -Z1 "$package" | grep -v '/$')" "$top/nesexpand[.]exe" "$top/README[.]md" \
    "$top/LICENSE" "$top/CHANGELOG[.]md" ${pictures:+"$top/$pictures"} ${notices:+"$top/$notices"}
  rm -rf "$work/root" && mkdir "$work/root" && unzip -q "$package" -d "$work/root"
  exe=$work/root/$top/nesexpand.exe
  names_cpu "$exe" "$top"
  [ -z "$notices" ] || [ "$(grep -cE '^(MinGW-w64 runtime|winpthreads)$' "$work/root/$top/$notices")" = 2 ] ||
    fail "THIRD-PARTY-NOTICES lacks the MinGW-w64 runtime's or winpthreads' notice"
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
