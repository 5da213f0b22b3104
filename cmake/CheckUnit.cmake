# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the installed watch service unit with systemd's own checker:
# systemd-analyze verify loads it as the user manager would and checks its
# keys, that ExecStart is an executable and that its Documentation= man page
# is there. Skipped, with a message, where systemd-analyze is absent.
#   cmake -DPREFIX=... -DWORK_DIR=... -P CheckUnit.cmake
set(unit ${PREFIX}/lib/systemd/user/quillon-watch@.service)
if(NOT EXISTS ${unit})
  message(FATAL_ERROR "not installed: lib/systemd/user/quillon-watch@.service")
endif()
file(STRINGS ${unit} exec REGEX "^ExecStart=")
if(NOT exec MATCHES "^ExecStart=${PREFIX}/bin/quillon-cli watch --wait-for-folder ")
  message(FATAL_ERROR "the unit does not start the installed quillon-cli watch: ${exec}")
endif()

find_program(SYSTEMD_ANALYZE systemd-analyze)
if(NOT SYSTEMD_ANALYZE)
  message(STATUS "SKIPPED: systemd-analyze is not installed (package systemd); the unit is not verified")
  return()
endif()
# A user manager needs a runtime folder of its own.
set(runtime ${WORK_DIR}/runtime)
file(REMOVE_RECURSE ${runtime})
file(MAKE_DIRECTORY ${runtime})
file(CHMOD ${runtime} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
execute_process(COMMAND env XDG_RUNTIME_DIR=${runtime} MANPATH=${PREFIX}/share/man
  ${SYSTEMD_ANALYZE} verify --user ${unit}
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0 OR NOT out STREQUAL "")
  message(FATAL_ERROR "systemd-analyze verify --user ${unit} (exit ${result}):\n${out}")
endif()
message(STATUS "systemd-analyze verify: ${unit} passes")
