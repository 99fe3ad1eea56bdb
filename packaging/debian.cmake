# The Debian package, built by ./package (cpack -G DEB on a build configured for /usr).
# Dependencies come from the libraries the programs link (dpkg-shlibdeps); procps brings the
# /bin/kill that the unit's reload runs. Installing enables and starts nothing: the user
# enables the service.
find_program(GZIP gzip REQUIRED)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND ${GZIP} -9n -c ${CMAKE_SOURCE_DIR}/packaging/changelog > ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog
  COMMENT "Compressing the changelog")
add_custom_target(corvessa_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/corvessa)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvessa)
set(CPACK_PACKAGE_VENDOR "Vantreck Software")
set(CPACK_PACKAGE_CONTACT "Vantreck Software <support@vantreck-software.com>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Vantreck Software <support@vantreck-software.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "serial port data logger")
# The summary is the synopsis; this is the long description, its lines indented by CPack.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Corvessa watches the serial ports of the machine and writes every byte that
arrives on each port, unchanged and in order, into that port's own log file.
Several ports log at once; settings are kept, and ports that were logging
resume at the next start. An unplugged USB adapter is waited for and goes on
into the same file.

The package holds the window (corvessa) and corvessa-logger, which logs the
same ports without a window, with a systemd service that runs it at boot.")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.vantreck-software.com/products")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "procps")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
include(CPack)
