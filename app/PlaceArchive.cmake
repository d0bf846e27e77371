# Places the archive template as the program folder's archive, only when the
# folder has none of the archive's files: an existing archive is never replaced,
# and a backup or a compacted copy without an archive beside it is the user's
# to put back (a fresh empty archive would take its place at the next exit).
#   cmake -DTEMPLATE=<template Vexilon.dat> -DFOLDER=<program folder> -P PlaceArchive.cmake
set(target "${FOLDER}/Vexilon.dat")
if(EXISTS "${target}" OR IS_SYMLINK "${target}")
  return()
endif()
if(EXISTS "${FOLDER}/Vexilon.bak" OR IS_SYMLINK "${FOLDER}/Vexilon.bak")
  message(STATUS "Placed no archive: '${FOLDER}/Vexilon.bak' is there without Vexilon.dat. "
                 "Copy it to '${target}' to go on with the archive it holds.")
  return()
endif()
# A compacted copy without the archive is one whose exit stopped before it took
# the archive's place: it may be unfinished and is no archive to go on with.
if(EXISTS "${FOLDER}/Vexilon.tmp" OR IS_SYMLINK "${FOLDER}/Vexilon.tmp")
  message(STATUS "Placed no archive: '${FOLDER}/Vexilon.tmp' is there without Vexilon.dat. It is a compacted "
                 "copy an exit may have left unfinished: keep it, and put back Vexilon.dat or Vexilon.bak "
                 "from a copy you trust.")
  return()
endif()
string(RANDOM LENGTH 8 suffix)
set(staging "${FOLDER}/.Vexilon.dat.${suffix}")
file(MAKE_DIRECTORY "${FOLDER}/.place-${suffix}")
file(COPY "${TEMPLATE}" DESTINATION "${FOLDER}/.place-${suffix}"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE)
file(RENAME "${FOLDER}/.place-${suffix}/Vexilon.dat" "${staging}")
file(REMOVE_RECURSE "${FOLDER}/.place-${suffix}")
# NO_REPLACE: should an archive have appeared meanwhile, it stays and the copy goes.
file(RENAME "${staging}" "${target}" RESULT placed NO_REPLACE)
file(REMOVE "${staging}")
if(placed STREQUAL "0")
  message(STATUS "Placed the empty archive ${target}")
endif()
