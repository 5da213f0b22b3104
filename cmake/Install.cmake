# SPDX-License-Identifier: GPL-3.0-or-later
# Installation and the Debian package.
#   cmake --install BUILD --prefix PREFIX
#   cd BUILD && cpack -G DEB
# Both programs link the project's libraries statically, so the installed
# files and the system's Qt 6 and libpng are all they need.
include(GNUInstallDirs)

set(QUILLON_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

if(TARGET quillon)
  install(TARGETS quillon RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(TARGETS quillon-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${QUILLON_PACKAGING_DIR}/quillon.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/app/icons/quillon.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The manual pages and the metainfo name the project's version.
foreach(page quillon.1 quillon-cli.1 example.orrinet.quillon.metainfo.xml)
  configure_file(${QUILLON_PACKAGING_DIR}/${page} ${CMAKE_BINARY_DIR}/packaging/${page} @ONLY)
endforeach()
install(FILES ${CMAKE_BINARY_DIR}/packaging/quillon.1 ${CMAKE_BINARY_DIR}/packaging/quillon-cli.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${QUILLON_PACKAGING_DIR}/quillon-cli.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
  RENAME quillon-cli)
install(FILES ${CMAKE_BINARY_DIR}/packaging/example.orrinet.quillon.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${QUILLON_PACKAGING_DIR}/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillon)
# The watch service: a systemd user unit template, in lib/systemd/user under
# the prefix (systemd looks there for /usr and /usr/local). Its ExecStart needs
# the absolute program path, known only at install time: cmake --install
# --prefix and CPack's /usr both set CMAKE_INSTALL_PREFIX then.
install(CODE "
  file(READ \"${QUILLON_PACKAGING_DIR}/quillon-watch@.service\" unit)
  string(REPLACE \"@BINDIR@\" \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\" unit \"\${unit}\")
  file(WRITE \"${CMAKE_BINARY_DIR}/unit/quillon-watch@.service\" \"\${unit}\")
  file(INSTALL \"${CMAKE_BINARY_DIR}/unit/quillon-watch@.service\"
    DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/user\" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
")

set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VENDOR "Quillon")
set(CPACK_PACKAGE_CONTACT "Quillon maintainers <quillon@orrinet.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Give satellite image files standard names from their headers")
set(CPACK_PACKAGE_DESCRIPTION [[
Quillon lists the Timestep MPD files of a folder whose names are not yet
standard, proposes the name each file's header gives (date, half-hour slot,
satellite and format letters) and renames them, never replacing a file.
quillon-cli does the same from the command line, keeps a journal of every
rename batch so that it can be undone, and can watch a receiving folder as a
systemd user service, naming files as they arrive.]])
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY quillon)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link come from dpkg-shlibdeps, so a new link
# cannot be forgotten; Qt's platform plugins are loaded, not linked.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.orrinet.example/quillon/")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/CompressManPages.cmake)
# A native Debian package's changelog, compressed as dpkg expects (no time
# stamp in the gzip header, so the package builds the same each time).
configure_file(${QUILLON_PACKAGING_DIR}/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
execute_process(COMMAND gzip -9 -n -c ${CMAKE_BINARY_DIR}/packaging/changelog
  OUTPUT_FILE ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
include(CPack)

# A test that installs into a scratch folder and checks what arrives there.
if(QUILLON_TESTS)
  add_test(NAME install_package
    COMMAND ${CMAKE_COMMAND}
      -DBUILD_DIR=${CMAKE_BINARY_DIR}
      -DPREFIX=${CMAKE_BINARY_DIR}/test-install
      -DWITH_WINDOW=$<TARGET_EXISTS:quillon>
      -P ${PROJECT_SOURCE_DIR}/cmake/CheckInstall.cmake)
  set_tests_properties(install_package PROPERTIES FIXTURES_SETUP installed)
  # The watch service unit, as installed.
  add_test(NAME watch_unit
    COMMAND ${CMAKE_COMMAND}
      -DPREFIX=${CMAKE_BINARY_DIR}/test-install
      -DWORK_DIR=${CMAKE_BINARY_DIR}/test-unit
      -P ${PROJECT_SOURCE_DIR}/cmake/CheckUnit.cmake)
  set_tests_properties(watch_unit PROPERTIES FIXTURES_REQUIRED installed SKIP_REGULAR_EXPRESSION "SKIPPED:")
endif()
