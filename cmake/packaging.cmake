# Installation and packages. On Linux: bin/Varnex_data with its README and
# manual page, packed as a .deb; on Windows: Varnex_data.exe beside a
# README.txt and a sample export, packed as a .zip to unpack anywhere.

if(WIN32)
  install(TARGETS Varnex_data RUNTIME DESTINATION .)
  # Text files for Windows: CR LF line ends, whatever the checkout has.
  configure_file(${PROJECT_SOURCE_DIR}/packaging/README.txt.in
                 ${PROJECT_BINARY_DIR}/packaging/README.txt
                 @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/README.txt DESTINATION .)
  # The sample export is the recorder's own text, CR LF already; copied as
  # it is.
  install(FILES ${PROJECT_SOURCE_DIR}/examples/sample_export.txt DESTINATION .)

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "Varnex_data-${PROJECT_VERSION}-win64")
else()
  include(GNUInstallDirs)
  install(TARGETS Varnex_data RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/README.md
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/varnex-data)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/Varnex_data.1
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_PACKAGE_NAME varnex-data)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  # Depends from the libraries the program links (libc, libstdc++).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
endif()

set(CPACK_PACKAGE_NAME Varnex_data)
set(CPACK_PACKAGE_VENDOR "Varnex data tools")
set(CPACK_PACKAGE_CONTACT "Varnex data tools <data-tools@varnex.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Converts three-axis recorder text exports into per-channel files")
set(CPACK_PACKAGE_DESCRIPTION
    "Varnex_data reads the text export of a three-axis data recorder and\nwrites one time/value file per channel and record, with run-wide RMS,\npeak and log files. A dialogue of five answers on standard input\nchooses the files, the unit conversion and the mean removal.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
include(CPack)
