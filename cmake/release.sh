#!/bin/sh
# Makes every release file in build-release/files/, each with FILE.sha256
# beside it and SHA256SUMS for them all: the page (nesexpand.html), the
# Linux .tar.gz, the .deb, the source archive and the Windows .zip. The
# builds, in build-release/web, linux and windows, are made afresh each
# time. Run from anywhere in a clone or an unpacked source archive.
#
# The files must be the same, to the byte, wherever and by whomever they
# are made, so it refuses, before building anything, a clone whose tree is
# not its commit (a changed, staged, untracked or ignored file outside the
# build folders and node_modules) and a clone without git, whose date it
# could not read. The builds see none of the caller's environment but
# PATH, HOME, TMPDIR and SOURCE_DATE_EPOCH: no CXXFLAGS, LDFLAGS,
# EMCC_CFLAGS, TAR_OPTIONS or the like.
set -eu
export LC_ALL=C
cd "$(dirname "$0")/.."
refuse() {
  echo "cmake/release.sh: $*" >&2
  exit 1
}

if [ -e .git ]; then
  command -v git > /dev/null ||
    refuse "this is a git clone, but git is not on PATH: install git, which gives the commit's files and time"
  here() { git -c safe.directory="$PWD" "$@"; }
  # --directory names an ignored folder once rather than every file in it.
  extra=$(here status --porcelain --untracked-files=all &&
    here ls-files --others --ignored --exclude-standard --directory |
    grep -vE '^build[^/]*/$|(^|/)node_modules/$' | sed 's/^/!! /')
  [ -z "$extra" ] || refuse "the tree is not the commit, so the release files could differ from the source archive;" \
    "commit, stash or remove these first:
$extra"
fi
case ${SOURCE_DATE_EPOCH:-0} in
  '' | *[!0-9]*) refuse "SOURCE_DATE_EPOCH is \"$SOURCE_DATE_EPOCH\", not a number of seconds since 1970" ;;
esac
for tool in emcmake x86_64-w64-mingw32-g++-posix; do
  command -v $tool > /dev/null || refuse "$tool is missing; the release needs the Debian packages" \
    "g++ cmake emscripten g++-mingw-w64-x86-64-posix zip unzip"
done

# What a build reads from the environment, named when set, so that nobody
# expects it to count.
ignored=$(env | sed -n 's/^\([A-Za-z_0-9]*\)=.*/\1/p' |
  grep -E '^(CC|CXX|RC|[A-Z_]*FLAGS|CMAKE_[A-Z_]*|EMCC_[A-Z_]*|EM_[A-Z_]*|TAR_OPTIONS|ZIPOPT|GZIP|DPKG_[A-Z_]*|DEB_[A-Z_]*)$' |
  tr '\n' ' ')
[ -z "$ignored" ] || echo "cmake/release.sh: not used for the release files, which the source alone decides: $ignored"
build() {
  env -i PATH="$PATH" ${HOME:+"HOME=$HOME"} ${TMPDIR:+"TMPDIR=$TMPDIR"} LC_ALL="$LC_ALL" \
    ${SOURCE_DATE_EPOCH:+"SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH"} "$@"
}

out=build-release
rm -rf $out
build emcmake cmake -S . -B $out/web
build cmake --build $out/web
build cmake -S . -B $out/linux -DBUILD_TESTING=OFF -DNESEXPAND_WEB_PAGE="$PWD/$out/web/nesexpand.html"
build cmake --build $out/linux --parallel
(cd $out/linux && build cpack -G TGZ && build cpack -G DEB && build cpack --config CPackSourceConfig.cmake)
build cmake -S . -B $out/windows -DBUILD_TESTING=OFF -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
build cmake --build $out/windows --parallel
(cd $out/windows && build cpack -G ZIP)

# Each file with its checksum file; SHA256SUMS holds all their lines.
mkdir $out/files
for file in "$out"/linux/nesexpand.html "$out"/linux/*.tar.gz "$out"/linux/*.deb "$out"/windows/*.zip; do
  cp "$file" "$file.sha256" $out/files/
done
cd $out/files
cat ./*.sha256 > SHA256SUMS
sha256sum --check --quiet SHA256SUMS
echo "cmake/release.sh: the release files are in $out/files:"
cat SHA256SUMS
