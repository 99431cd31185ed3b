# The Debian package: `cpack -G DEB` in a build folder configured with -DCMAKE_INSTALL_PREFIX=/usr makes
# kiplaunch_<version>_<arch>.deb.

set(CPACK_PACKAGE_NAME kiplaunch)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Kip Launch Manager developers")
set(CPACK_PACKAGE_CONTACT "Kip Launch Manager developers <kiplaunch@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "start programs at logon under conditions you choose")
# Installs into DESTDIR with the configured prefix, so the files under /etc and /var land in the package.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${KIP_HOMEPAGE_URL}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so the library scan cannot see them: the SVG icon engine, the HTTP test's libcurl
# and the share test's libsmbclient; xdg-open opens documents.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, libcurl4")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsmbclient, xdg-utils")
# The long description; CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Kip Launch Manager keeps a list of programs to start when you log on, each
with conditions: logon user or group, power source, network or dial-up link,
presence of a share, path, host or web address, days of the week, a time
window, a minimum interval, or a change since the previous start-up; with a
delay, a sequence group, the window state and an after-action.

kiplaunch is the definition manager and performs the autostart run at logon
for users who switch it on; kipctl edits the same per-user and machine-wide
definitions from scripts.")

configure_file(${CMAKE_SOURCE_DIR}/packaging/deb/postrm.in ${CMAKE_BINARY_DIR}/packaging/deb/postrm @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
configure_file(${CMAKE_SOURCE_DIR}/packaging/deb/conffiles.in ${CMAKE_BINARY_DIR}/packaging/deb/conffiles @ONLY)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_BINARY_DIR}/packaging/deb/postrm ${CMAKE_BINARY_DIR}/packaging/deb/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
