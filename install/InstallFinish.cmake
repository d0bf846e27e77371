# Run by `cmake --install` after the files are copied (the VX_ variables come
# from the install code before it): places the empty archive in the program
# folder only when it has none, links the program into bin/ and writes the
# desktop entry with the installed program's path.
foreach(dir VX_PROGRAM_DIR VX_BIN_DIR VX_APPLICATIONS_DIR)
  if(IS_ABSOLUTE "${${dir}}")
    set(${dir}_FULL "$ENV{DESTDIR}${${dir}}")
    set(${dir}_FINAL "${${dir}}")
  else()
    set(${dir}_FULL "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${${dir}}")
    set(${dir}_FINAL "${CMAKE_INSTALL_PREFIX}/${${dir}}")
  endif()
endforeach()

# An existing archive, and its backup, stay exactly as they are.
execute_process(
  COMMAND "${CMAKE_COMMAND}" "-DTEMPLATE=${VX_TEMPLATE}" "-DFOLDER=${VX_PROGRAM_DIR_FULL}" -P "${VX_PLACE_ARCHIVE}"
  COMMAND_ERROR_IS_FATAL ANY)

set(link "${VX_BIN_DIR_FULL}/vexilon")
message(STATUS "Installing: ${link}")
file(MAKE_DIRECTORY "${VX_BIN_DIR_FULL}")
if(IS_SYMLINK "${link}" OR EXISTS "${link}")
  file(REMOVE "${link}")
endif()
file(CREATE_LINK "${VX_BIN_TO_PROGRAM}/vexilon" "${link}" SYMBOLIC)

# The Exec key: the path quoted, with the characters quoting and the key's
# own escapes give a meaning written as themselves.
set(exec "${VX_BIN_DIR_FINAL}/vexilon")
if(exec MATCHES "[\n\r\t]")
  message(FATAL_ERROR "The install prefix '${CMAKE_INSTALL_PREFIX}' holds a line break or tab, which a desktop entry cannot start.")
endif()
string(REPLACE "\\" "\\\\" exec "${exec}")
string(REPLACE "\"" "\\\"" exec "${exec}")
string(REPLACE "`" "\\`" exec "${exec}")
string(REPLACE "$" "\\$" exec "${exec}")
string(REPLACE "%" "%%" exec "${exec}")
set(exec "\"${exec}\"")
string(REPLACE "\\" "\\\\" VX_EXEC "${exec}")

set(entry "${VX_APPLICATIONS_DIR_FULL}/vexilon.desktop")
message(STATUS "Installing: ${entry}")
configure_file("${VX_DESKTOP_TEMPLATE}" "${entry}" @ONLY)
