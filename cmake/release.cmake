# Installation and the release files, made with CPack from a configured
# build folder: cpack -G TGZ and cpack -G DEB on Linux, cpack -G ZIP for
# Windows, cpack --config CPackSourceConfig.cmake for the source archive
# (cmake/release.sh makes them all). Each file gets FILE.sha256 beside it,
# and on a Linux host each is packed again (cpack_normalise.cmake) so that
# the same commit gives the same bytes, built anywhere, at any time, by any
# user, under any umask.
include(GNUInstallDirs)
include(${CMAKE_CURRENT_LIST_DIR}/release_docs.cmake)
set(packaging ${PROJECT_SOURCE_DIR}/packaging)

# The project's own address, from the copyright file; a distribution names
# its packager instead.
file(STRINGS ${packaging}/copyright contact REGEX "^Upstream-Contact: ")
string(REPLACE "Upstream-Contact: " "" contact "${contact}")
set(NESEXPAND_MAINTAINER "${contact}"
    CACHE STRING "Maintainer named in the .deb and its changelog: NAME <E-MAIL>")

# linked_source(VAR LIBRARY): "SOURCE (= VERSION)", the Debian source
# package that dpkg says the LIBRARY file (libc.a) that the compiler links
# came from; "unknown" where dpkg does not know it.
function(linked_source var library)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${library}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(path "${path}" REALPATH)
  execute_process(COMMAND dpkg-query --search "${path}" OUTPUT_VARIABLE owner ERROR_QUIET)
  string(REGEX REPLACE ": .*" "" owner "${owner}")
  execute_process(COMMAND dpkg-query --show "--showformat=\${source:Package} (= \${source:Version})"
                          "${owner}" OUTPUT_VARIABLE source RESULT_VARIABLE failed ERROR_QUIET)
  if(failed OR NOT owner)
    set(source unknown)
  endif()
  set(${var} "${source}" PARENT_SCOPE)
endfunction()

# The README shows the page's picture(s) from web/: shipped beside it, so
# that the installed README shows them too.
file(GLOB screenshots CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/web/screenshot*.png)
# What a static build, and the page, hold of others' code, with their
# licences; packaging/ keeps the texts of those licences.
set(notices ${PROJECT_BINARY_DIR}/THIRD-PARTY-NOTICES)
file(REMOVE ${notices})
set(rle ${packaging}/GCC-RUNTIME-LIBRARY-EXCEPTION-3.1)
# What only one kind of package carries, in cpack-only/GENERATOR, laid
# out as in that package (cpack_project.cmake adds it).
set(cpack_only ${PROJECT_BINARY_DIR}/cpack-only)
file(REMOVE_RECURSE ${cpack_only})

if(WIN32)
  # A zip to unpack anywhere: the program and its documents side by side.
  install(TARGETS nesexpand RUNTIME DESTINATION .)
  install(FILES README.md LICENSE CHANGELOG.md DESTINATION .)
  install(FILES ${screenshots} DESTINATION web)
  if(MINGW AND static_link)
    linked_source(mingw libwinpthread.a)
    configure_file(${packaging}/windows-notices.in ${notices} @ONLY)
    install(FILES ${notices} ${packaging}/GPL-3 ${rle} DESTINATION .)
  endif()
  set(CPACK_GENERATOR ZIP)
else()
  # The doc files, made again whenever their sources change.
  set(doc ${PROJECT_BINARY_DIR}/doc)
  file(GLOB docs_md CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               CHANGELOG.md nesexpand.1 README.md ${docs_md} ${packaging}/page-notices)
  nesexpand_docs(${PROJECT_SOURCE_DIR} ${doc} ${PROJECT_VERSION} "${NESEXPAND_MAINTAINER}")
  install(TARGETS nesexpand RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${doc}/nesexpand.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md ${packaging}/copyright ${doc}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${screenshots} DESTINATION ${CMAKE_INSTALL_DOCDIR}/web)
  # The GNU C Library, linked in: the .deb names its source in Built-Using.
  if(static_link AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
    linked_source(glibc libc.a)
    if(NOT glibc STREQUAL "unknown")
      set(CPACK_NESEXPAND_BUILT_USING "${glibc}")
    endif()
    configure_file(${packaging}/linux-notices.in ${notices} @ONLY)
    # The exception is in no common place; the LGPL and the GPL are, on
    # Debian, where lintian wants no copy of them in the .deb.
    install(FILES ${rle} DESTINATION ${CMAKE_INSTALL_DOCDIR})
    file(COPY ${packaging}/LGPL-2.1 ${packaging}/GPL-3 DESTINATION ${cpack_only}/TGZ/${CMAKE_INSTALL_DOCDIR})
    # The link's map, from which tests/package_test.sh checks these
    # notices against the libraries that the program holds.
    first_supported(link_map linker -Wl,-Map=${PROJECT_BINARY_DIR}/nesexpand.map)
    target_link_options(nesexpand PRIVATE ${link_map})
  endif()
  set(CPACK_GENERATOR TGZ)
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    list(APPEND CPACK_GENERATOR DEB)
  endif()
  # strip keeps the compilers' version notes, which a distribution drops.
  if(CMAKE_OBJCOPY AND NOT APPLE)
    add_custom_command(TARGET nesexpand POST_BUILD
                       COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment --remove-section=.note
                               $<TARGET_FILE:nesexpand>
                       VERBATIM)
  endif()
endif()

# The page, built by its own emscripten build: shipped in the packages and,
# with its checksum as cpack writes one, beside them. The copy is made again
# whenever the page changes.
set(NESEXPAND_WEB_PAGE "" CACHE FILEPATH
    "The page that the emscripten build writes (build-web/nesexpand.html), installed to share/nesexpand")
if(NESEXPAND_WEB_PAGE)
  if(NOT EXISTS "${NESEXPAND_WEB_PAGE}")
    message(FATAL_ERROR "NESEXPAND_WEB_PAGE: ${NESEXPAND_WEB_PAGE} does not exist; build the page first.")
  endif()
  install(FILES "${NESEXPAND_WEB_PAGE}" DESTINATION ${CMAKE_INSTALL_DATADIR}/nesexpand)
  # The page's own notices, which it carries in a comment, follow those
  # of the program.
  file(READ ${packaging}/page-notices page_notices)
  if(EXISTS ${notices})
    file(APPEND ${notices} "\n${page_notices}")
  else()
    file(WRITE ${notices} "${page_notices}")
  endif()
  configure_file("${NESEXPAND_WEB_PAGE}" nesexpand.html COPYONLY)
  file(SHA256 "${NESEXPAND_WEB_PAGE}" sum)
  file(WRITE ${PROJECT_BINARY_DIR}/nesexpand.html.sha256 "${sum}  nesexpand.html\n")
endif()

# lintian's tags that are wrong about this package, or meant, each with
# the reason; in the .deb only.
set(overrides "")
if(static_link STREQUAL "-static-pie")
  string(APPEND overrides
    "# nesexpand is linked with -static-pie on purpose, so that one file runs on\n"
    "# any Linux: an executable with no interpreter and no library to load,\n"
    "# which lintian takes for a shared library that names none.\n"
    "nesexpand: shared-library-lacks-prerequisites [usr/bin/nesexpand]\n")
elseif(static_link STREQUAL "-static")
  string(APPEND overrides
    "# nesexpand is linked statically on purpose, so that one file runs on any Linux.\n"
    "nesexpand: statically-linked-binary [usr/bin/nesexpand]\n")
endif()
if(NESEXPAND_WEB_PAGE)
  string(APPEND overrides
    "# The page is the tool itself, run in a browser, not a document about it.\n"
    "nesexpand: package-contains-documentation-outside-usr-share-doc"
    " [usr/share/nesexpand/nesexpand.html]\n")
endif()
if(overrides)
  file(WRITE ${cpack_only}/DEB/usr/share/lintian/overrides/nesexpand "${overrides}")
endif()
if(EXISTS ${notices} AND NOT WIN32)
  install(FILES ${notices} DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "nesexpand takes a 24,592-byte iNES cartridge image, with one 16 KiB\n"
  "PRG-ROM bank and one 8 KiB CHR-ROM bank, and writes a 40,976-byte image\n"
  "with two PRG-ROM banks beside it. A fixed block of the old program moves\n"
  "to the start of a new lower bank, whose rest is left free, and two\n"
  "address bytes are pointed at the block's new home, $8000.")
# The CPU's name in the archives' names: x86_64 and aarch64 for their other
# names (AMD64 and ARM64 on Windows, amd64 on FreeBSD, arm64 on macOS), so
# that each CPU has one name on every system; any other in lower case.
string(TOLOWER "${CMAKE_SYSTEM_PROCESSOR}" cpu)
string(REGEX REPLACE "^(amd64|x64)$" x86_64 cpu "${cpu}")
string(REGEX REPLACE "^arm64$" aarch64 cpu "${cpu}")
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${cpu})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack_project.cmake)
if(CMAKE_HOST_SYSTEM_NAME STREQUAL "Linux")  # the GNU tools that it needs
  set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/cpack_normalise.cmake)
  if(CMAKE_VERSION VERSION_LESS 3.19)
    message(WARNING "cpack runs CPACK_POST_BUILD_SCRIPTS from CMake 3.19 on: with CMake "
                    "${CMAKE_VERSION} the packages are not packed again to come out the same every time.")
  endif()
endif()
set(CPACK_NESEXPAND_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_NESEXPAND_BINARY_DIR ${PROJECT_BINARY_DIR})

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${NESEXPAND_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# A static binary depends on nothing; a dynamic one on what it links.
if(NOT static_link)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
# A cross build's Debian architecture, from dpkg-architecture for the
# compiler's multiarch name (a packager may set it); left unset, cpack asks
# dpkg, which names the build machine's.
if(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_NAME STREQUAL "Linux" AND NOT CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
  execute_process(COMMAND dpkg-architecture -t${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
                  OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE
                  OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed ERROR_QUIET)
  if(failed)
    message(WARNING "No Debian architecture is known for the processor ${CMAKE_SYSTEM_PROCESSOR}: "
                    "set CPACK_DEBIAN_PACKAGE_ARCHITECTURE.")
  endif()
endif()

# The source archive; cpack_project.cmake chooses its files, and
# cpack_normalise.cmake names its top folder nesexpand-VERSION.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-Source)

include(CPack)
