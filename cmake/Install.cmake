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
install(FILES ${QUILLON_PACKAGING_DIR}/quillon.1 ${QUILLON_PACKAGING_DIR}/quillon-cli.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${QUILLON_PACKAGING_DIR}/quillon-cli.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
  RENAME quillon-cli)

set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VENDOR "Quillon")
set(CPACK_PACKAGE_CONTACT "Quillon maintainers <quillon@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Give satellite image files standard names from their headers")
set(CPACK_PACKAGE_DESCRIPTION
  "Quillon lists the Timestep MPD files of a folder whose names are not yet standard, proposes the name each file's header gives (date, half-hour slot, satellite and format letters) and renames them, never replacing a file. quillon-cli does the same from the command line, keeps a journal of every rename batch so that it can be undone, and can watch a receiving folder to name files as they arrive.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY quillon)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libc6 (>= 2.34), libstdc++6 (>= 12), libqt6core6 (>= 6.2), libqt6gui6 (>= 6.2), libqt6widgets6 (>= 6.2), qt6-qpa-plugins, libpng16-16 (>= 1.6)")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion")
include(CPack)

# A test that installs into a scratch folder and checks what arrives there.
if(QUILLON_TESTS)
  add_test(NAME install_package
    COMMAND ${CMAKE_COMMAND}
      -DBUILD_DIR=${CMAKE_BINARY_DIR}
      -DPREFIX=${CMAKE_BINARY_DIR}/test-install
      -DWITH_WINDOW=$<TARGET_EXISTS:quillon>
      -P ${PROJECT_SOURCE_DIR}/cmake/CheckInstall.cmake)
endif()
