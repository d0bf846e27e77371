# Places the archive template as the program folder's archive, only when the
# folder has none: an existing archive is never replaced.
#   cmake -DTEMPLATE=<template Vexilon.dat> -DFOLDER=<program folder> -P PlaceArchive.cmake
set(target "${FOLDER}/Vexilon.dat")
if(EXISTS "${target}" OR IS_SYMLINK "${target}")
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
