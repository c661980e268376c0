# Run by cpack after it has made a package (CPACK_POST_BUILD_SCRIPTS), and
# before it copies the package out and writes its checksum. Each package is
# unpacked and packed again so that its bytes depend only on what it holds
# and on SOURCE_DATE_EPOCH: entries sorted by name, owned by root (0:0),
# folders 0755, files 0644 or 0755, every time SOURCE_DATE_EPOCH, and
# compressed without a name or time. cpack itself keeps the packer's user
# and umask, and CMake 3.25 (Debian 12's) has no setting for the owner:
# CPACK_ARCHIVE_UID arrived only in CMake 4.3, so the repacking stays.
# It also does what cpack cannot: names the source archive's top folder
# nesexpand-VERSION rather than after the file, and adds the .deb's
# Built-Using field (CPACK_NESEXPAND_BUILT_USING). Needs GNU tar, gzip,
# chmod, find, sort and touch; zip and unzip for a .zip; dpkg-deb for a .deb.
set(epoch $ENV{SOURCE_DATE_EPOCH})

foreach(package IN LISTS CPACK_PACKAGE_FILES)
  set(tree ${package}.tree)
  file(REMOVE_RECURSE ${tree})
  file(MAKE_DIRECTORY ${tree})
  if(package MATCHES "[.]deb$")
    set(unpack dpkg-deb --raw-extract ${package} ${tree})
  elseif(package MATCHES "[.]zip$")
    set(unpack unzip -q ${package} -d ${tree})
  else()
    set(unpack tar -xzf ${package} -C ${tree})
  endif()
  execute_process(COMMAND ${unpack} COMMAND_ERROR_IS_FATAL ANY)
  if(package MATCHES "-Source[.]tar[.]gz$")
    string(REGEX REPLACE "-Source$" "" top "${CPACK_PACKAGE_FILE_NAME}")
    file(RENAME ${tree}/${CPACK_PACKAGE_FILE_NAME} ${tree}/${top})
  elseif(package MATCHES "[.]deb$" AND CPACK_NESEXPAND_BUILT_USING)
    file(READ ${tree}/DEBIAN/control control)
    string(REGEX REPLACE "\n+$" "\nBuilt-Using: ${CPACK_NESEXPAND_BUILT_USING}\n" control "${control}")
    file(WRITE ${tree}/DEBIAN/control "${control}")
  endif()
  execute_process(COMMAND chmod -R u=rwX,go=rX ${tree} COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND find ${tree} -exec touch -h -d @${epoch} {} + COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE ${package})
  file(GLOB top RELATIVE ${tree} ${tree}/*)
  if(package MATCHES "[.]deb$")
    execute_process(COMMAND dpkg-deb --root-owner-group -Zxz --build ${tree} ${package}
                    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  elseif(package MATCHES "[.]zip$")
    # zip takes the names in the order given; -X leaves out the owner and
    # the extra times, and TZ fixes the DOS time that zip writes.
    execute_process(COMMAND find ${top} -type f COMMAND env LC_ALL=C sort
                    COMMAND env TZ=UTC0 zip -q -X -D ${package} -@
                    WORKING_DIRECTORY ${tree} COMMAND_ERROR_IS_FATAL ANY)
  else()
    execute_process(COMMAND tar --sort=name --format=gnu --owner=root:0 --group=root:0
                                --mtime=@${epoch} -C ${tree} -cf - ${top}
                    COMMAND gzip -9n OUTPUT_FILE ${package} COMMAND_ERROR_IS_FATAL ANY)
  endif()
  file(REMOVE_RECURSE ${tree})
endforeach()
