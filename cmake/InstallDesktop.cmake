# Runs at install time: the programs on PATH, the desktop entry, the .sva
# file type for the desktop (shared-mime-info, the desktop database, the
# user's default application) and in HKEY_CLASSES_ROOT, and the context-menu
# handler with the file managers' entries.
set(_prefix "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(_program "${CMAKE_INSTALL_PREFIX}/lib/sealvane/sealvane")

file(MAKE_DIRECTORY "${_prefix}/bin")
foreach(_name sealvane sealvane-cli sealvane-shell)
  file(REMOVE "${_prefix}/bin/${_name}")
  file(CREATE_LINK "../lib/sealvane/${_name}" "${_prefix}/bin/${_name}" SYMBOLIC)
  message(STATUS "Installing: ${_prefix}/bin/${_name} -> ../lib/sealvane/${_name}")
endforeach()

set(SEALVANE_PROGRAM "${_program}")
configure_file("${SEALVANE_DATA_DIR}/sealvane.desktop.in" "${_prefix}/share/applications/sealvane.desktop" @ONLY)
message(STATUS "Installing: ${_prefix}/share/applications/sealvane.desktop")

# A staged install (DESTDIR) leaves the databases to the package manager.
if(NOT "$ENV{DESTDIR}" STREQUAL "")
  return()
endif()

function(_sealvane_run what)
  find_program(_tool ${ARGV1})
  if(NOT _tool)
    message(STATUS "${ARGV1} is not installed: ${what} skipped")
    unset(_tool CACHE)
    return()
  endif()
  list(SUBLIST ARGV 2 -1 _args)
  execute_process(COMMAND ${_tool} ${_args} RESULT_VARIABLE _rc OUTPUT_QUIET)
  if(NOT _rc EQUAL 0)
    message(WARNING "${what} failed (${ARGV1} ${_args})")
  endif()
  unset(_tool CACHE)
endfunction()

_sealvane_run("The MIME database" update-mime-database "${_prefix}/share/mime")
_sealvane_run("The desktop database" update-desktop-database "${_prefix}/share/applications")
# The user's own default for the type, when installing for the user.
if(DEFINED ENV{HOME} AND "${CMAKE_INSTALL_PREFIX}/" MATCHES "^$ENV{HOME}/")
  _sealvane_run("The default application" xdg-mime default sealvane.desktop application/x-sealvane-archive)
endif()

execute_process(
  COMMAND "${_prefix}/lib/sealvane/sealvane-cli" register --program "${_program}"
          --icon "${CMAKE_INSTALL_PREFIX}/share/icons/hicolor/scalable/apps/sealvane.svg"
  RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  message(WARNING "Failed to register Sealvane shell settings.")
endif()

# The context-menu handler (as a registration tool would) and the file
# managers' entries that call sealvane-shell.
execute_process(
  COMMAND "${_prefix}/lib/sealvane/sealvane-shell" register "${_prefix}/lib/sealvane/libsealvaneshl.so"
  RESULT_VARIABLE _rc OUTPUT_QUIET ERROR_VARIABLE _err)
if(NOT _rc EQUAL 0)
  message(WARNING "The context-menu commands were not registered:\n${_err}")
endif()
