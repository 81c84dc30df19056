# Installation and the Debian package (scripts/package.sh):
#   quorvane-editor, quorvane-cli and quorvane-sim in /usr/bin, the desktop entry,
#   its icon, the AppStream metadata, the manual pages, copyright and changelog.
# The package's dependencies are computed from the programs (dpkg-shlibdeps).
if(WIN32)
  return()
endif()
include(GNUInstallDirs)

set(_pkg ${PROJECT_SOURCE_DIR}/packaging)
set(_out ${PROJECT_BINARY_DIR}/packaging)
set(QUORVANE_APP_ID org.quorvane.ParameterEditor)

# Manual pages and the changelog go in compressed, as Debian wants them.
set(_gz_files)
foreach(file quorvane-editor.1 quorvane-cli.1 quorvane-sim.1 changelog)
  add_custom_command(OUTPUT ${_out}/${file}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_out}
    COMMAND gzip -9 -n -c ${_pkg}/${file} > ${_out}/${file}.gz
    DEPENDS ${_pkg}/${file} VERBATIM)
  list(APPEND _gz_files ${_out}/${file}.gz)
endforeach()
add_custom_target(quorvane_package_files ALL DEPENDS ${_gz_files})

foreach(program quorvane-editor quorvane-cli quorvane-sim)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
if(TARGET quorvane-editor)
  install(FILES ${_pkg}/${QUORVANE_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${_pkg}/${QUORVANE_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${_pkg}/quorvane-editor.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
foreach(program quorvane-editor quorvane-cli quorvane-sim)
  if(TARGET ${program})
    install(FILES ${_out}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()
install(FILES ${_pkg}/copyright ${_out}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvane-editor)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvane-editor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quorvane Parameter Editor team")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configuration editor for a vehicle GPS tracker on a serial line")
# CPack puts the summary first and indents the rest; an empty line becomes " .".
set(CPACK_PACKAGE_DESCRIPTION
  "Reads a vehicle GPS tracker's configuration over a serial port, shows it on
tabs and writes it back; keeps configurations in settings files.

Also holds quorvane-cli, the editor without a window for provisioning from
scripts, and quorvane-sim, a simulated tracker on a pseudo-terminal.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quorvane Parameter Editor team <editor@quorvane.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
