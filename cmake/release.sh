#!/bin/sh
# Makes every release file, each with FILE.sha256 beside it: the page
# (nesexpand.html), the Linux .tar.gz, the .deb and the source archive in
# build-release/, the Windows .zip in build-windows/. Run from anywhere in
# a clone or an unpacked source archive; git is not needed.
set -eu
cd "$(dirname "$0")/.."
for tool in emcmake x86_64-w64-mingw32-g++-posix; do
  if ! command -v $tool > /dev/null; then
    echo "cmake/release.sh: $tool is missing; the release needs the Debian packages" \
      "g++ cmake emscripten g++-mingw-w64-x86-64-posix zip unzip" >&2
    exit 1
  fi
done
emcmake cmake -S . -B build-web
cmake --build build-web
cmake -S . -B build-release -DBUILD_TESTING=OFF -DNESEXPAND_WEB_PAGE="$PWD/build-web/nesexpand.html"
cmake --build build-release --parallel
(cd build-release && cpack -G TGZ && cpack -G DEB && cpack --config CPackSourceConfig.cmake)
cmake -S . -B build-windows -DBUILD_TESTING=OFF -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
cmake --build build-windows --parallel
(cd build-windows && cpack -G ZIP)
