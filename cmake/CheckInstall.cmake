# SPDX-License-Identifier: GPL-3.0-or-later
# Installs BUILD_DIR into a scratch PREFIX and checks that every file of the
# package is there, that the desktop entry is valid and points at the program
# and its icon, and that the installed quillon-cli runs from where it lies.
#   cmake -DBUILD_DIR=... -DPREFIX=... -DWITH_WINDOW=1 -P CheckInstall.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(expected
  bin/quillon-cli
  share/applications/quillon.desktop
  share/icons/hicolor/scalable/apps/quillon.svg
  share/man/man1/quillon.1
  share/man/man1/quillon-cli.1
  share/bash-completion/completions/quillon-cli
  share/metainfo/example.orrinet.quillon.metainfo.xml
  share/doc/quillon/copyright
  lib/systemd/user/quillon-watch@.service)
if(WITH_WINDOW)
  list(APPEND expected bin/quillon share/quillon/translations/quillon_de.qm)
endif()
foreach(f IN LISTS expected)
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()

file(READ ${PREFIX}/share/applications/quillon.desktop desktop)
if(NOT desktop MATCHES "\nExec=quillon[ \n]" OR NOT desktop MATCHES "\nIcon=quillon\n")
  message(FATAL_ERROR "the desktop entry does not start quillon with the quillon icon")
endif()
find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
  execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${PREFIX}/share/applications/quillon.desktop
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0 OR NOT out STREQUAL "")
    message(FATAL_ERROR "desktop-file-validate: ${out}")
  endif()
endif()

# The AppStream metainfo (software centres read it) is valid and names the
# desktop entry.
find_program(APPSTREAMCLI appstreamcli)
if(APPSTREAMCLI)
  execute_process(COMMAND ${APPSTREAMCLI} validate --no-net --pedantic
    ${PREFIX}/share/metainfo/example.orrinet.quillon.metainfo.xml
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "appstreamcli validate: ${out}")
  endif()
endif()

# The installed command runs from the installed files alone: from the scratch
# folder, with an almost empty environment (leak checks off: a sanitizer
# build's installed copy is still a sanitizer build).
execute_process(COMMAND env -i PATH=/usr/bin:/bin HOME=${PREFIX} ASAN_OPTIONS=detect_leaks=0
  ${PREFIX}/bin/quillon-cli --help
  WORKING_DIRECTORY ${PREFIX}
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0 OR NOT out MATCHES "history" OR NOT out MATCHES "watch")
  message(FATAL_ERROR "the installed quillon-cli does not run: ${result} ${out} ${err}")
endif()
file(READ ${PREFIX}/share/bash-completion/completions/quillon-cli completion)
if(NOT completion MATCHES "complete -F _quillon_cli quillon-cli")
  message(FATAL_ERROR "the bash completion does not complete quillon-cli")
endif()
message(STATUS "installed into ${PREFIX}: ${expected}")
