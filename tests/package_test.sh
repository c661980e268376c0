#!/bin/bash
# Checks the release files that cpack wrote into a build folder: what each
# holds, that every entry is root's with a plain mode (folders 0755, files
# 0644 or 0755), that FILE.sha256 verifies it, that its name names the CPU
# of the program inside, and that the program runs on its own; the .deb
# with lintian too, the source archive against git's list of the commit's
# files, and the notices against what the links put into the program and
# the page. First it checks the Debian changelog and the manual page that
# the build makes from CHANGELOG.md and nesexpand.1, the version checks,
# and that cmake/release.sh refuses what could come out different.
#   package_test.sh BUILD_DIR [RUNNER...]
# The .deb and the .tar.gz hold the tool, the manual page, README.md with
# its pictures, copyright and changelog, and the web page if it was built
# (then also beside them, with its checksum); the .zip the .exe, README.md
# with its pictures, LICENSE and CHANGELOG.md, and an .exe that imports
# only Windows' own DLLs. A static build's archives add THIRD-PARTY-NOTICES
# for the libraries linked in, with the texts of their licences, and its
# .deb names its C library's source in Built-Using; the page's notices are
# in it and in THIRD-PARTY-NOTICES.
set -u
export LC_ALL=C
build=$(realpath "$1")
shift
# A runner given as a path from here (cmake/wine-run.sh) is found from anywhere.
if [ $# -gt 0 ] && [[ $1 == */* ]] && [ -e "$1" ]; then
  set -- "$(realpath "$1")" "${@:2}"
fi
here=$(dirname "$(realpath "$0")")
sample=$here/../examples/sample.nes
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$here/common.sh"
# fail_each PREFIX: one failure for each line on standard input.
fail_each() { local line; while read -r line; do fail "$package" "$1$line"; done; }

# expect_files LISTING NAME...: each NAME (an extended regular expression
# for a whole line) is in LISTING, and nothing else is a file there.
expect_files() {
  local listing=$1 name
  shift
  for name in "$@"; do grep -qxE "$name" <<< "$listing" || fail "$package" "holds no $name"; done
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
    fail "$package" "$(basename "$sums") is missing, names another file or does not match"
}

# runs_on_sample TOOL: the tool, started by the runner, expands the sample.
runs_on_sample() {
  rm -rf "$work/run" && mkdir "$work/run" && cp "$sample" "$work/run/game.nes"
  (cd "$work/run" && "$@" game.nes) > "$work/stdout" 2>&1 || fail "$package" "the tool failed: $(cat "$work/stdout")"
  [ -s "$work/stdout" ] && fail "$package" "the tool printed: $(cat "$work/stdout")"
  [ "$(wc -c 2> /dev/null < "$work/run/game_expanded.nes")" = 40976 ] ||
    fail "$package" "the tool wrote no 40,976-byte image"
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

page_file=$(setting 'NESEXPAND_WEB_PAGE:FILEPATH')
page=$([ -n "$page_file" ] && echo share/nesexpand/nesexpand.html)
# The notices of what a static program links in, from glibc or MinGW-w64,
# and of what emscripten compiles into the page.
notices=$([ -n "$static$page" ] && echo THIRD-PARTY-NOTICES)
# The texts of the licences that a static program's notices name: the
# exception in every package; beside it the GPL and the LGPL, but not in
# the .deb (Debian keeps them in /usr/share/common-licenses).
exception=$([ -n "$static" ] && echo 'GCC-RUNTIME-LIBRARY-EXCEPTION-3[.]1')
# The README's pictures of the page, wherever a README.md goes.
pictures=$(compgen -G "$source_dir/web/screenshot*.png" > /dev/null && echo 'web/screenshot[^/]*[.]png')
doc=share/doc/nesexpand
# The Linux install's files, under the .deb's or the tarball's top.
linux_files() {
  echo "$1/bin/nesexpand $1/share/man/man1/nesexpand[.]1[.]gz $1/$doc/README[.]md $1/$doc/copyright"
  echo "$1/$doc/changelog[.]gz ${pictures:+$1/$doc/$pictures} ${page:+$1/$page} ${notices:+$1/$doc/$notices}"
  echo "${exception:+$1/$doc/$exception}"
}
checked=0

# The works that the program and the page may hold, each a row: the
# heading of its notice in THIRD-PARTY-NOTICES and in the page, and what
# of the links below is that work's (an extended regular expression).
parts="The GNU C Library (glibc)|^program:(lib(c|m|pthread)[.]a|[rS]?crt1[.]o|crt[in][.]o)$
GCC's runtime libraries (libstdc++, libgcc)|^program:(lib(stdc[+][+]|supc[+][+]|gcc|gcc_eh)[.]a|crt(begin|end)[ST]?[.]o)$
Emscripten|^page:(emscripten's JavaScript glue|lib(c|emmalloc|dlmalloc|noexit|stubs)(-[a-z]+)*[.]a)$
musl|^page:musl$
LLVM's libc++, libc++abi and compiler-rt|^page:lib(c[+][+]|c[+][+]abi|compiler_rt)(-[a-z]+)*[.]a$"
# program_parts: "program:FILE" for each library or object from outside
# the build that the static program's link map shows a section of (its
# LOAD lines name every file that the link was given).
program_parts() {
  sed -n '/^Linker script and memory map/,$p' "$build/nesexpand.map" 2> /dev/null | grep -v '^LOAD ' |
    sed -nE 's#.*[[:space:]]/[^ ()]*/([^/ ()]+[.](a|o))([(][^)]*[)])?$#program:\1#p' | sort -u
}
# page_parts: "page:..." for what emcc compiled into the page: its
# JavaScript glue, and the library that defines each function of its
# WebAssembly, which the same link's symbol map names; in emscripten's C
# library, musl's own files are told apart by their sources. The
# sanitizers' runtimes and standalone WebAssembly's library, which define
# malloc and the like too, are linked only with options that the page
# does not take.
page_parts() {
  local symbols=${page_file%/*}/nesexpand.functions.html.symbols root cache library member
  echo "page:emscripten's JavaScript glue"
  [ -s "$symbols" ] || { fail "$package" "no $symbols, which names the page's functions"; return; }
  root=$(em-config EMSCRIPTEN_ROOT) && cache=$(em-config CACHE) || { fail "$package" "em-config failed"; return; }
  "$(em-config LLVM_ROOT)/llvm-nm" -A --defined-only "$cache"/sysroot/lib/wasm32-emscripten/*.a 2> /dev/null |
    awk -v symbols="$symbols" '
      BEGIN { while ((getline line < symbols) > 0) { sub(/^[0-9]+:/, "", line); wanted[line] = 1 } }
      $(NF - 1) ~ /^[TWD]$/ && wanted[$NF] { split($1, at, ":"); sub(/.*\//, "", at[1]); print at[1], at[2] }' |
    grep -vE '^lib([a-z]san_rt|standalonewasm)' |
    sort -u | while read -r library member; do
      if [[ $library == libc[.-]* ]] && compgen -G "$root/system/lib/libc/musl/src/*/${member%.o}.c" > /dev/null; then
        echo page:musl
      else
        echo "page:$library"
      fi
    done | sort -u
}
# check_notices FILE PART...: FILE holds the notice's heading of the work
# of every PART, and of no work that is not among them.
check_notices() {
  local file=$1 heading pattern linked
  shift
  linked=$(printf '%s\n' "$@")
  fail_each "holds what no notice covers: " < <(grep -vE "$(sed 's/^[^|]*|//' <<< "$parts" | paste -sd '|')" <<< "$linked")
  while IFS='|' read -r heading pattern; do
    if grep -qE "$pattern" <<< "$linked"; then
      grep -qxF "$heading" "$file" || fail "$package" "${file##*/} has no notice for $heading, which is in it"
    elif grep -qxF "$heading" "$file"; then
      fail "$package" "${file##*/} names $heading, which is not in it"
    fi
  done <<< "$parts"
}
linked=() page_linked=()
[ -n "$page" ] && mapfile -t page_linked < <(page_parts)
[ -n "$static" ] && mapfile -t linked < <(program_parts)
linked+=("${page_linked[@]}")

# The Debian changelog keeps every line of CHANGELOG.md's releases, every
# character as written; what it cannot carry stops the build, as does a
# version that is not the one being built.
package="doc files"
mkdir "$work/docs"
echo '.TH NESEXPAND 1 2026-12-08 "nesexpand 1.0.0" "User Commands"' > "$work/docs/nesexpand.1"
sed 's/^TAB/\t/' > "$work/docs/CHANGELOG.md" << 'EOF'
# Changelog

## 1.0.0 (2026-12-08)

- Reads `roms[1` and `roms]2`; keeps `a;b` and `\;`.
  A hard line break\
  `C:\ROMs\`
- Last [item](x)
TABindented with a tab
* an item of Markdown's other kind

A paragraph at column 0.

## 0.9.0 (2024-02-29)

- First
EOF
# docs VERSION [FOLDER]: makes the doc files of FOLDER's sources.
docs() {
  local folder=${2:-$work/docs}
  cmake -DSOURCE_DIR="$folder" -DOUTPUT_DIR="$folder" -DVERSION="$1" -DMAINTAINER="M <m@x>" \
    -P "$here/../cmake/release_docs.cmake" 2>&1
}
docs 1.0.0 > "$work/docs.log" || fail "$package" "the doc files were not made: $(cat "$work/docs.log")"
fail_each "changelog: " < <(diff <(gzip -dc "$work/docs/changelog.gz" 2>&1 | sed 's/\t/TAB/g') - << 'EOF' | grep '^[<>]'
nesexpand (1.0.0) unstable; urgency=medium

  * Reads `roms[1` and `roms]2`; keeps `a;b` and `\;`.
    A hard line break\
    `C:\ROMs\`
  * Last [item](x)
  TABindented with a tab
  * an item of Markdown's other kind

  A paragraph at column 0.

 -- M <m@x>  Tue, 08 Dec 2026 00:00:00 +0000

nesexpand (0.9.0) unstable; urgency=medium

  * First

 -- M <m@x>  Thu, 29 Feb 2024 00:00:00 +0000
EOF
)
# The doc files stop: for each row, the version built, what spoils the
# sources (a command run in their folder) and the line that says why.
while IFS='|' read -r version spoil message; do
  rm -rf "$work/spoilt" && cp -r "$work/docs" "$work/spoilt" && rm "$work/spoilt"/*.gz
  (cd "$work/spoilt" && eval "$spoil")
  if docs "$version" "$work/spoilt" > "$work/docs.log" || [ -e "$work/spoilt/changelog.gz" ]; then
    fail "$package" "made for \"$spoil\""
  elif ! grep -qF -- "$message" "$work/docs.log"; then
    fail "$package" "for \"$spoil\", not \"$message\" but: $(cat "$work/docs.log")"
  fi
done << 'EOF'
1.0.0|sed -i 's/(2026-12-08)/(2026-02-30)/' CHANGELOG.md|CHANGELOG.md:3: "## 1.0.0 (2026-02-30)": 2026-02-30 is no day of the calendar since 1970
1.0.0|sed -i 's/(2024-02-29)/(2023-02-29)/' CHANGELOG.md|CHANGELOG.md:14: "## 0.9.0 (2023-02-29)": 2023-02-29 is no day of the calendar since 1970
1.0.0|sed -i 's/(2024-02-29)/(2026-13-45)/' CHANGELOG.md|CHANGELOG.md:14: "## 0.9.0 (2026-13-45)": 2026-13-45 is no day of the calendar since 1970
1.0.0|sed -i 's/(2024-02-29)/(1969-12-31)/' CHANGELOG.md|CHANGELOG.md:14: "## 0.9.0 (1969-12-31)": 1969-12-31 is no day of the calendar since 1970
1.0.0|sed -i 's/^A paragraph.*/## Notes/' CHANGELOG.md|CHANGELOG.md:12: "## Notes": not a release heading "## VERSION (YYYY-MM-DD)"
1.0.0|sed -i 's/(2024-02-29)/(2024-2-29)/' CHANGELOG.md|CHANGELOG.md:14: "## 0.9.0 (2024-2-29)": not a release heading
1.0.0|sed -i 's/(2026-12-08)/(2026-12-09)/' CHANGELOG.md|nesexpand.1 begins ".TH NESEXPAND 1 2026-12-08 "nesexpand 1.0.0" "User Commands"", not ".TH NESEXPAND 1 2026-12-09
1.0.1|:|CHANGELOG.md's newest release is "1.0.0", not 1.0.1
1.0.0|echo 'sudo apt install ./nesexpand_0.9.0_amd64.deb' > README.md|README.md names nesexpand_0.9.0
1.0.0|mkdir docs && echo 'nesexpand-1.0.0/ from nesexpand-1.0-Source.tar.gz.' > docs/releasing.md|docs/releasing.md names nesexpand-1.0
EOF

# cmake/release.sh refuses, with a message and before it builds anything,
# what could come out different from the commit. Each row spoils a clean
# clone with a command run in it, or leaves git off PATH ("no git"), and
# gives a line that the refusal must hold. emcmake, the first build step,
# is a stub that notes the environment that it sees and fails.
package="release script"
if command -v git > /dev/null; then
  clean=$work/clean
  mkdir -p "$clean/cmake" "$clean/web" "$work/stubs" "$work/nogit"
  cp "$here/../cmake/release.sh" "$clean/cmake/"
  cp "$here/../.gitignore" "$clean/"
  echo readme > "$clean/README.md" && echo picture > "$clean/web/screenshot.png"
  git -C "$clean" init -q && git -C "$clean" add -A &&
    git -C "$clean" -c user.name=t -c user.email=t@t commit -q -m clean
  printf '#!/bin/sh\nenv > "%s"\nexit 1\n' "$work/seen" > "$work/stubs/emcmake"
  printf '#!/bin/sh\nexit 1\n' > "$work/stubs/x86_64-w64-mingw32-g++-posix"
  chmod +x "$work/stubs"/*
  programs_but_git "$work/nogit"
  # release SPOIL: runs cmake/release.sh in a fresh clone spoilt by SPOIL.
  release() {
    local search=$work/stubs:$PATH spoil=$1
    rm -rf "$work/clone" "$work/seen" && cp -a "$clean" "$work/clone"
    if [ "$spoil" = "no git" ]; then
      search=$work/stubs:$work/nogit spoil=:
    fi
    (cd "$work/clone" && eval "$spoil" && PATH=$search sh cmake/release.sh) > "$work/release.log" 2>&1
  }
  while IFS='|' read -r spoil message; do
    if release "$spoil"; then
      fail "$package" "went on with \"$spoil\""
    elif ! grep -qxF -- "$message" "$work/release.log"; then
      fail "$package" "for \"$spoil\", not \"$message\" but: $(cat "$work/release.log")"
    elif [ -e "$work/seen" ] || compgen -G "$work/clone/build*" > /dev/null; then
      fail "$package" "for \"$spoil\", began to build"
    fi
  done << 'EOF'
echo changed >> README.md| M README.md
echo staged >> README.md && git add README.md|M  README.md
echo notes > notes.txt|?? notes.txt
echo web/screenshot-new.png >> .git/info/exclude && echo new > web/screenshot-new.png|!! web/screenshot-new.png
no git|cmake/release.sh: this is a git clone, but git is not on PATH: install git, which gives the commit's files and time
export SOURCE_DATE_EPOCH=yesterday|cmake/release.sh: SOURCE_DATE_EPOCH is "yesterday", not a number of seconds since 1970
EOF
  # What the environment sets for a build never reaches one, and is named.
  flags="CXXFLAGS CFLAGS CPPFLAGS LDFLAGS EMCC_CFLAGS CMAKE_BUILD_TYPE TAR_OPTIONS"
  release "export $(printf '%s=-g ' $flags)"
  for flag in $flags; do
    grep -q "^$flag=" "$work/seen" 2> /dev/null && fail "$package" "the builds see $flag"
    grep -q "^cmake/release.sh: not used.* $flag " "$work/release.log" || fail "$package" "$flag is not named as not used"
  done
  [ -e "$work/seen" ] || fail "$package" "emcmake was not reached: $(cat "$work/release.log")"
else
  echo "skipped: [$package] git is not on PATH, so no clone can be made"
fi

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
  [[ $2 == *-${cpu[0]} || $2 == *_${cpu[1]-} ]] || fail "$package" "its name does not say ${cpu[*]}, the CPU of its program"
}

if [ -n "$page" ]; then
  package=$build/nesexpand.html
  released
  check_notices "$package" "${page_linked[@]}"
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
    [ -n "$(dpkg-deb -f "$package" $field)" ] || fail "$package" "no $field field"
  done
  [ "$(dpkg-deb -f "$package" Section)" = utils ] || fail "$package" "section is not utils"
  [ "$(dpkg-deb -f "$package" Description | wc -l)" -gt 1 ] || fail "$package" "no long description"
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
      > /dev/null || fail "$package" "copyright does not carry LICENSE's holder and text"
  # A static build holds the C library: the source it came from is named,
  # in Built-Using and in the notices, and is what dpkg has installed.
  if [ -n "$static" ]; then
    built_using=$(dpkg-deb -f "$package" Built-Using)
    dpkg-query -W -f '${source:Package} (= ${source:Version})\n' 2> /dev/null | grep -qxF "$built_using" ||
      fail "$package" "Built-Using is \"$built_using\", no installed package's source"
    grep -qF "$built_using" "$work/root/usr/$doc/$notices" &&
      grep -q "Lesser General Public License, version 2.1 or later" "$work/root/usr/$doc/$notices" ||
      fail "$package" "THIRD-PARTY-NOTICES does not give the C library's licence and $built_using"
  fi
  [ -z "$notices" ] || check_notices "$work/root/usr/$doc/$notices" "${linked[@]}"
  [ -z "$page" ] || cmp -s "$work/root/usr/$page" "$build/nesexpand.html" ||
    fail "$package" "its page is not the nesexpand.html beside it"
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
    [ "$(cut -d / -f 1 <<< "$files" | sort -u)" = "$top" ] || fail "$package" "not all of it is under $top/"
    epoch=$(tar xzOf "$package" "$top/SOURCE_DATE_EPOCH" 2> /dev/null)
    [ "$(TZ=UTC0 tar tvzf "$package" --full-time | awk '{ print $4 "T" $5 }' | sort -u)" = \
      "$(TZ=UTC0 date -d "@${epoch:-x}" +%FT%T 2> /dev/null)" ] ||
      fail "$package" "its entries are not all dated SOURCE_DATE_EPOCH, \"$epoch\""
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
  expect_files "$files" $(linux_files "$top") ${static:+"$top/$doc/LGPL-2[.]1" "$top/$doc/GPL-3"}
  rm -rf "$work/root" && mkdir "$work/root" && tar xzf "$package" -C "$work/root"
  [ -z "$notices" ] || check_notices "$work/root/$top/$doc/$notices" "${linked[@]}"
  static_on_its_own "$work/root/$top/bin/nesexpand"
  names_cpu "$work/root/$top/bin/nesexpand" "$top"
  [ -z "$page" ] || cmp -s "$work/root/$top/$page" "$build/nesexpand.html" ||
    fail "$package" "its page is not the nesexpand.html beside it"
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
    "$top/LICENSE" "$top/CHANGELOG[.]md" ${pictures:+"$top/$pictures"} ${notices:+"$top/$notices"} \
    ${exception:+"$top/GPL-3" "$top/$exception"}
  rm -rf "$work/root" && mkdir "$work/root" && unzip -q "$package" -d "$work/root"
  exe=$work/root/$top/nesexpand.exe
  names_cpu "$exe" "$top"
  [ -z "$notices" ] || [ "$(grep -cE '^(MinGW-w64 runtime|winpthreads)$' "$work/root/$top/$notices")" = 2 ] ||
    fail "$package" "THIRD-PARTY-NOTICES lacks the MinGW-w64 runtime's or winpthreads' notice"
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
    [ -n "$imports" ] || fail "$package" "no imports were read"
    fail_each "imports a DLL that Windows does not have: " \
      < <(grep -viE "^($system_dlls)\.dll$" <<< "$imports")
  else
    echo "skipped: [$package] no $readers here to read the imports of a machine $machine .exe"
  fi
  runs_on_sample "$@" "$exe"
done

[ "$checked" -gt 0 ] || { package=$build; fail "$package" "no package found"; }
[ "$failures" = 0 ] && echo "packages: $checked checked, all hold what they should"
exit $((failures > 0))
