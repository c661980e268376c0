# Run by cpack after it has made a package (CPACK_POST_BUILD_SCRIPTS), and
# before it copies the package out and writes its checksum. Each package is
# unpacked and packed again so that its bytes depend only on what it holds
# and on SOURCE_DATE_EPOCH: entries sorted by name, owned by root (0:0),
# folders 0755, files 0644 or 0755, every time SOURCE_DATE_EPOCH, and
# compressed without a name or time. cpack itself keeps the packer's user
# and umask, and CMake 3.25 (Debian 12's) has no setting for the owner:
# CPACK_ARCHIVE_UID arrived only in CMake 4.3, so repacking stays.
# Two things cpack cannot write either: the source archive's top folder,
# named nesexpand-VERSION rather than after the file, and the .deb's
# Built-Using field (CPACK_NESEXPAND_BUILT_USING). Needs GNU tar, gzip,
# chmod, find and touch; zip and unzip for a .zip; dpkg-deb for a .deb.
set(epoch $ENV{SOURCE_DATE_EPOCH})

# run(COMMAND...): runs it, and stops cpack if it fails.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed OUTPUT_QUIET)
  if(failed)
    message(FATAL_ERROR "${ARGN}: failed (${failed})")
  endif()
endfunction()

foreach(package IN LISTS CPACK_PACKAGE_FILES)
  set(tree ${package}.tree)
  file(REMOVE_RECURSE ${tree})
  file(MAKE_DIRECTORY ${tree})
  if(package MATCHES "[.]deb$")
    run(dpkg-deb --raw-extract ${package} ${tree})
  elseif(package MATCHES "[.]zip$")
    run(unzip -q ${package} -d ${tree})
  else()
    run(tar -xzf ${package} -C ${tree})
  endif()
  if(package MATCHES "-Source[.]tar[.]gz$")
    string(REGEX REPLACE "-Source$" "" top "${CPACK_PACKAGE_FILE_NAME}")
    file(RENAME ${tree}/${CPACK_PACKAGE_FILE_NAME} ${tree}/${top})
  elseif(package MATCHES "[.]deb$" AND CPACK_NESEXPAND_BUILT_USING)
    file(READ ${tree}/DEBIAN/control control)
    string(REGEX REPLACE "\n+$" "\nBuilt-Using: ${CPACK_NESEXPAND_BUILT_USING}\n" control "${control}")
    file(WRITE ${tree}/DEBIAN/control "${control}")
  endif()
  run(chmod -R u=rwX,go=rX ${tree})
  run(find ${tree} -exec touch -h -d @${epoch} {} +)
  file(REMOVE ${package})

  if(package MATCHES "[.]deb$")
    run(dpkg-deb --root-owner-group -Zxz --build ${tree} ${package})
  elseif(package MATCHES "[.]zip$")
    # zip takes the names in the order given; -X leaves out the owner and
    # the extra times, and TZ fixes the DOS time that zip writes.
    file(GLOB_RECURSE names LIST_DIRECTORIES false RELATIVE ${tree} ${tree}/*)
    list(SORT names)
    string(REPLACE ";" "\n" names "${names}\n")
    file(WRITE ${tree}.names "${names}")
    set(ENV{TZ} UTC0)
    execute_process(COMMAND zip -q -X -D ${package} -@ WORKING_DIRECTORY ${tree}
                    INPUT_FILE ${tree}.names RESULT_VARIABLE failed)
    unset(ENV{TZ})
    file(REMOVE ${tree}.names)
    if(failed)
      message(FATAL_ERROR "zip ${package}: failed (${failed})")
    endif()
  else()
    file(GLOB top RELATIVE ${tree} ${tree}/*)
    execute_process(COMMAND tar --sort=name --format=gnu --owner=root:0 --group=root:0
                                --mtime=@${epoch} -C ${tree} -cf - ${top}
                    COMMAND gzip -9n OUTPUT_FILE ${package} RESULTS_VARIABLE results)
    if(NOT results STREQUAL "0;0")
      message(FATAL_ERROR "tar | gzip ${package}: failed (${results})")
    endif()
  endif()
  file(REMOVE_RECURSE ${tree})
endforeach()
