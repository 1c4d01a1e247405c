# The Debian package, made in a build tree by `cpack -G DEB` (scripts/package.sh does it all):
# grelvix_<version>_<arch>.deb with the station, the simulator, the desktop entry, the icons and
# the systemd unit, installed disabled. Its dependencies are what dpkg-shlibdeps finds the
# installed binaries linked against, and adduser for the maintainer scripts (cmake/debian/),
# which make the service's user.
set(GRELVIX_PACKAGE_MAINTAINER "Grelvix developers <grelvix@localhost>"
  CACHE STRING "Maintainer field of the Debian package")

# The unit names the program by its full path: scripts/package.sh configures the package's
# build for /usr, where the package installs.
configure_file(${PROJECT_SOURCE_DIR}/resources/grelvix.service.in
  ${PROJECT_BINARY_DIR}/grelvix.service @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/grelvix.service DESTINATION lib/systemd/system)

set(CPACK_PACKAGE_NAME grelvix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION} for Modbus RTU devices")
set(CPACK_PACKAGE_CONTACT "${GRELVIX_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS adduser)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/cmake/debian/postinst
  ${PROJECT_SOURCE_DIR}/cmake/debian/prerm
  ${PROJECT_SOURCE_DIR}/cmake/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The captions are laid out for Arial's metrics, which Liberation Sans has.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-liberation)
set(CPACK_PACKAGE_DESCRIPTION
"Polls up to six temperature measuring devices of two sensors each over one
serial line (Modbus RTU), shows the twelve channels on LCD-style displays,
raises alarms with blinking digits and a sound, records every poll cycle into
a log file and draws a live 48-hour graph per channel and a viewer for
recorded logs. Given a Grelvix.conf, it publishes readings and alarms to an
MQTT broker.
.
grelvix --headless runs the station without a window or a display, and
the unit grelvix.service (installed disabled) runs it as a system service.
grelvix-devsim simulates such devices on a pseudo-terminal.")

set(CPACK_GENERATOR DEB)
include(CPack)
