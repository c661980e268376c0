# Read by cpack before each package it makes (CPACK_PROJECT_CONFIG_FILE).
set(source ${CPACK_NESEXPAND_SOURCE_DIR})
# git for the source tree, when it is the top of a git checkout (not a
# folder inside some other checkout, nor a tree without git).
set(git git -c safe.directory=${source} -C ${source})
execute_process(COMMAND ${git} rev-parse --show-prefix OUTPUT_VARIABLE prefix
                OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE no_git ERROR_QUIET)
if(prefix)
  set(no_git TRUE)
elseif(no_git AND EXISTS ${source}/.git)
  message(FATAL_ERROR "${source} is a git clone, but git could not be run there: install git, "
                      "which gives the commit's files and time to the packages")
endif()

# One time for every file in every package: SOURCE_DATE_EPOCH if it is
# set, else the last commit's time, else the time that the source archive
# recorded in its file SOURCE_DATE_EPOCH, else the date of the newest
# release in CHANGELOG.md. It has to be in cpack's own environment: the
# archives' times, and the time that strip writes into a Windows .exe,
# come from there.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  if(NOT no_git)
    execute_process(COMMAND ${git} log -1 --format=%ct OUTPUT_VARIABLE epoch
                    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  elseif(EXISTS ${source}/SOURCE_DATE_EPOCH)
    file(STRINGS ${source}/SOURCE_DATE_EPOCH epoch REGEX "^[0-9]+$" LIMIT_COUNT 1)
  else()
    include(${CMAKE_CURRENT_LIST_DIR}/release_docs.cmake)
    file(STRINGS ${source}/CHANGELOG.md heading REGEX "${nesexpand_release_heading}" LIMIT_COUNT 1)
    string(REGEX MATCH "${nesexpand_release_heading}" heading "${heading}")
    nesexpand_date(${CMAKE_MATCH_3} ${CMAKE_MATCH_4} ${CMAKE_MATCH_5} epoch date)
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()

# The source archive: the commit's files, as git archive gives them, or
# without git the tree but for git's own, build folders (build*/ at the
# top, and this build folder wherever it is) and downloads; and the time,
# so that the archive builds the same files again without git.
if(CPACK_PACKAGE_FILE_NAME STREQUAL CPACK_SOURCE_PACKAGE_FILE_NAME)
  set(staged ${CPACK_NESEXPAND_BINARY_DIR}/_CPack_Packages/source-files)
  file(REMOVE_RECURSE ${staged})
  file(MAKE_DIRECTORY ${staged})
  file(RELATIVE_PATH build ${source} ${CPACK_NESEXPAND_BINARY_DIR})
  set(files tar -cf - --exclude=node_modules --anchored --exclude=./.git --exclude=./build*
                --exclude=./${build} -C ${source} .)
  if(NOT no_git)
    set(files ${git} archive --format=tar HEAD)
  endif()
  execute_process(COMMAND ${files} COMMAND tar -xf - -C ${staged} COMMAND_ERROR_IS_FATAL ANY)
  file(WRITE ${staged}/SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}\n")
  set(CPACK_INSTALLED_DIRECTORIES "${staged};/")
  set(CPACK_IGNORE_FILES "")
endif()

# What only this kind of package carries (see release.cmake): the .deb
# lintian's overrides, the tarball the licence texts that Debian keeps.
set(only ${CPACK_NESEXPAND_BINARY_DIR}/cpack-only/${CPACK_GENERATOR})
if(EXISTS ${only} AND NOT CPACK_PACKAGE_FILE_NAME STREQUAL CPACK_SOURCE_PACKAGE_FILE_NAME)
  list(APPEND CPACK_INSTALLED_DIRECTORIES "${only}" .)
endif()
