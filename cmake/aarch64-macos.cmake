# Cross build for macOS on Apple silicon (arm64), with zig from npm:
#   npm ci --prefix cmake/zig
#   cmake -S . -B build-macos-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-macos.cmake
set(CMAKE_SYSTEM_PROCESSOR arm64)
set(ZIG_CPU aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/macos-cross.cmake)
