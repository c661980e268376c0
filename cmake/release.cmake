# Installation and the release files, made with CPack from a configured
# build folder: cpack -G TGZ and cpack -G DEB on Linux, cpack -G ZIP for
# Windows, cpack --config CPackSourceConfig.cmake for the source archive.
# Each file gets FILE.sha256 beside it, and on a Linux host each is packed
# again so that the same commit gives the same bytes, built anywhere, at
# any time, by any user, under any umask.
include(GNUInstallDirs)
include(${CMAKE_CURRENT_LIST_DIR}/release_names.cmake)

# The project's own address; a distribution names its packager instead.
set(nesexpand_contact "nesexpand maintainers <maintainers@users.noreply.c-seed-6b172f14.example>")
set(NESEXPAND_MAINTAINER "${nesexpand_contact}"
    CACHE STRING "Maintainer named in the .deb and its changelog: NAME <E-MAIL>")

# The README shows the page's picture(s) from web/: shipped beside it, so
# that the installed README shows them too.
file(GLOB screenshots CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/web/screenshot*.png)

if(WIN32)
  # A zip to unpack anywhere: the program and its documents side by side.
  install(TARGETS nesexpand RUNTIME DESTINATION .)
  install(FILES README.md LICENSE CHANGELOG.md DESTINATION .)
  install(FILES ${screenshots} DESTINATION web)
  set(CPACK_GENERATOR ZIP)
else()
  # The doc files as a Debian package wants them; release_docs.cmake says
  # what each one is.
  find_program(NESEXPAND_GZIP gzip REQUIRED)
  set(doc ${PROJECT_BINARY_DIR}/doc)
  set(doc_files ${doc}/copyright ${doc}/changelog.gz ${doc}/nesexpand.1.gz)
  add_custom_command(
    OUTPUT ${doc_files}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${doc}
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DOUTPUT_DIR=${doc}
            -DVERSION=${PROJECT_VERSION} "-DMAINTAINER=${NESEXPAND_MAINTAINER}"
            "-DCONTACT=${nesexpand_contact}"
            -DGZIP=${NESEXPAND_GZIP} -P ${CMAKE_CURRENT_LIST_DIR}/release_docs.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
            ${PROJECT_SOURCE_DIR}/nesexpand.1 ${CMAKE_CURRENT_LIST_DIR}/release_docs.cmake
            ${CMAKE_CURRENT_LIST_DIR}/release_names.cmake
    VERBATIM)
  add_custom_target(nesexpand_docs ALL DEPENDS ${doc_files})

  install(TARGETS nesexpand RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${doc}/nesexpand.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md ${doc}/copyright ${doc}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${screenshots} DESTINATION ${CMAKE_INSTALL_DOCDIR}/web)
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set(CPACK_GENERATOR TGZ DEB)
  else()
    set(CPACK_GENERATOR TGZ)
  endif()

  # strip keeps the compilers' version notes, which a distribution drops.
  if(CMAKE_OBJCOPY AND NOT APPLE)
    add_custom_command(TARGET nesexpand POST_BUILD
                       COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment --remove-section=.note
                               $<TARGET_FILE:nesexpand>
                       VERBATIM)
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

# lintian's tags that are wrong about this package, each with the reason;
# in the .deb only (cpack_project.cmake adds the folder).
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
set(deb_only ${PROJECT_BINARY_DIR}/deb-only)
file(REMOVE_RECURSE ${deb_only})
if(overrides)
  file(WRITE ${deb_only}/usr/share/lintian/overrides/nesexpand "${overrides}")
  set(CPACK_NESEXPAND_DEB_ONLY ${deb_only})
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
nesexpand_cpu_names("${CMAKE_SYSTEM_PROCESSOR}" archive_cpu debian_architecture)
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${archive_cpu})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack_project.cmake)
if(CMAKE_HOST_SYSTEM_NAME STREQUAL "Linux")  # the GNU tools that it needs
  set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/cpack_normalise.cmake)
endif()
set(CPACK_NESEXPAND_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_NESEXPAND_BINARY_DIR ${PROJECT_BINARY_DIR})

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
# The target's architecture, named from the same table as the archives; a
# packager may set it. Left unset, cpack asks dpkg, which names the build
# machine's.
if(NOT CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
  if(debian_architecture)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${debian_architecture})
  elseif(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
    message(WARNING "No Debian architecture is known for the processor "
                    "${CMAKE_SYSTEM_PROCESSOR}: set CPACK_DEBIAN_PACKAGE_ARCHITECTURE.")
  endif()
endif()

# The source archive; cpack_project.cmake chooses its files.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-Source)

include(CPack)
