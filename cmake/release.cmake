# Installation and the release packages, made with CPack from a configured
# build folder: cpack -G TGZ and cpack -G DEB on Linux, cpack -G ZIP for
# Windows.
include(GNUInstallDirs)

if(WIN32)
  # A zip to unpack anywhere: the program and its two documents side by side.
  install(TARGETS nesexpand RUNTIME DESTINATION .)
  install(FILES README.md LICENSE DESTINATION .)
  set(CPACK_GENERATOR ZIP)
else()
  install(TARGETS nesexpand RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES nesexpand.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set(CPACK_GENERATOR TGZ DEB)
  else()
    set(CPACK_GENERATOR TGZ)
  endif()
endif()

# The web page is built by its own emscripten build; point here to ship it.
set(NESEXPAND_WEB_PAGE "" CACHE FILEPATH
    "The page that the emscripten build writes (build-web/nesexpand.html), installed to share/nesexpand")
if(NESEXPAND_WEB_PAGE)
  if(NOT EXISTS "${NESEXPAND_WEB_PAGE}")
    message(FATAL_ERROR "NESEXPAND_WEB_PAGE: ${NESEXPAND_WEB_PAGE} does not exist; build the page first.")
  endif()
  install(FILES "${NESEXPAND_WEB_PAGE}" DESTINATION ${CMAKE_INSTALL_DATADIR}/nesexpand)
endif()

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "the nesexpand authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "nesexpand takes a 24,592-byte iNES cartridge image, with one 16 KiB\n"
  "PRG-ROM bank and one 8 KiB CHR-ROM bank, and writes a 40,976-byte image\n"
  "with two PRG-ROM banks beside it. A fixed block of the old program moves\n"
  "to the start of a new lower bank, whose rest is left free, and two\n"
  "address bytes are pointed at the block's new home, $8000.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_FILE_NAME
    ${PROJECT_NAME}-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_STRIP_FILES ON)

set(NESEXPAND_MAINTAINER "the nesexpand authors" CACHE STRING "Maintainer named in the .deb")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${NESEXPAND_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# A static binary depends on nothing; a dynamic one on what it links.
if(static_link)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
else()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
# dpkg names the build machine's architecture, not a cross target's.
if(CMAKE_CROSSCOMPILING)
  set(debian_architectures x86_64 amd64 aarch64 arm64 s390x s390x)
  list(FIND debian_architectures ${CMAKE_SYSTEM_PROCESSOR} found)
  if(found GREATER_EQUAL 0)
    math(EXPR found "${found} + 1")
    list(GET debian_architectures ${found} CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
  endif()
endif()

# The source archive: the tree as committed, without builds or downloads.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-Source)
set(CPACK_SOURCE_IGNORE_FILES "/[.]git/" "/build[^/]*/" "/node_modules/")

include(CPack)
