# Cross build for macOS on Intel (x86-64), with zig from npm:
#   npm ci --prefix cmake/zig
#   cmake -S . -B build-macos-x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-macos.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZIG_CPU x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/macos-cross.cmake)
