# Read by cpack before each package it makes (CPACK_PROJECT_CONFIG_FILE).

# git_in_source(VAR ARG...): what git ARG... prints for the source tree,
# split into lines, when the tree is a git checkout of its own (not a
# folder inside some other checkout); otherwise "".
function(git_in_source var)
  set(git git -c safe.directory=${CPACK_NESEXPAND_SOURCE_DIR} -c core.quotePath=false
              -C ${CPACK_NESEXPAND_SOURCE_DIR})
  execute_process(COMMAND ${git} rev-parse --show-toplevel
                  OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE failed ERROR_QUIET)
  get_filename_component(top "${top}" REALPATH)
  get_filename_component(source "${CPACK_NESEXPAND_SOURCE_DIR}" REALPATH)
  set(output "")
  if(NOT failed AND top STREQUAL source)
    execute_process(COMMAND ${git} ${ARGN} OUTPUT_VARIABLE output
                    OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "git ${ARGN} failed in ${CPACK_NESEXPAND_SOURCE_DIR}")
    endif()
    string(REPLACE "\n" ";" output "${output}")
  endif()
  set(${var} "${output}" PARENT_SCOPE)
endfunction()

# One time for every file in every package: SOURCE_DATE_EPOCH if it is
# set, else the last commit's time, else (no git) the date of the newest
# release in CHANGELOG.md. It has to be in cpack's own environment: the
# archives' times, and the time that strip writes into a Windows .exe,
# come from there.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  git_in_source(epoch log -1 --format=%ct)
  if(NOT epoch)
    include(${CMAKE_CURRENT_LIST_DIR}/release_names.cmake)
    file(STRINGS ${CPACK_NESEXPAND_SOURCE_DIR}/CHANGELOG.md heading
         REGEX "${nesexpand_release_heading}" LIMIT_COUNT 1)
    string(REGEX MATCH "${nesexpand_release_heading}" heading "${heading}")
    nesexpand_date(${CMAKE_MATCH_2} ${CMAKE_MATCH_3} ${CMAKE_MATCH_4} epoch date)
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()

# The source archive: the files that git tracks, when the tree is a git
# checkout; otherwise every file but git's own, downloads and build folders
# (build*/ at the top, and this build folder wherever it is). The paths are
# taken relative to the tree, so where the tree lives does not matter. The
# files are copied into a folder of their own for cpack to pack.
if(CPACK_PACKAGE_FILE_NAME STREQUAL CPACK_SOURCE_PACKAGE_FILE_NAME)
  set(source ${CPACK_NESEXPAND_SOURCE_DIR})
  git_in_source(files ls-files)
  if(NOT files)
    file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${source} ${source}/*)
    list(FILTER files EXCLUDE REGEX "^([.]git|build[^/]*|(.*/)?node_modules)(/|$)")
    file(RELATIVE_PATH build ${source} ${CPACK_NESEXPAND_BINARY_DIR})
    string(APPEND build /)
    string(LENGTH "${build}" length)
    set(outside_build "")
    foreach(file IN LISTS files)
      string(SUBSTRING "${file}" 0 ${length} start)
      if(NOT start STREQUAL build)
        list(APPEND outside_build "${file}")
      endif()
    endforeach()
    set(files "${outside_build}")
  endif()
  set(staged ${CPACK_NESEXPAND_BINARY_DIR}/_CPack_Packages/source-files)
  file(REMOVE_RECURSE ${staged})
  foreach(file IN LISTS files)
    get_filename_component(folder "${staged}/${file}" DIRECTORY)
    if(EXISTS "${source}/${file}")  # a tracked file may have been deleted since
      file(COPY "${source}/${file}" DESTINATION "${folder}")
    endif()
  endforeach()
  set(CPACK_INSTALLED_DIRECTORIES "${staged};/")
  set(CPACK_IGNORE_FILES "")
endif()

# What only the .deb carries: lintian's overrides (see release.cmake).
if(CPACK_GENERATOR STREQUAL "DEB" AND CPACK_NESEXPAND_DEB_ONLY)
  list(APPEND CPACK_INSTALLED_DIRECTORIES "${CPACK_NESEXPAND_DEB_ONLY}" .)
endif()
