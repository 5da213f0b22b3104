# SPDX-License-Identifier: GPL-3.0-or-later
# CPack pre-build script: a Debian package carries its manual pages compressed
# (gzip -9n: no name or time stamp, so the package builds the same each time).
# CPack runs it on its staging folder after the install, before packaging.
file(GLOB_RECURSE pages "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/man/man[1-9]/*.[1-9]")
foreach(page IN LISTS pages)
  execute_process(COMMAND gzip -9 -n -f "${page}" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "cannot compress ${page}")
  endif()
endforeach()
