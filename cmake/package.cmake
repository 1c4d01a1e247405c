# The Debian package, made in a build tree by `cpack -G DEB` (scripts/package.sh does it all):
# grelvix_<version>_<arch>.deb with the station, the simulator, the desktop entry and the icons.
# Its dependencies are what dpkg-shlibdeps finds the installed binaries linked against.
set(GRELVIX_PACKAGE_MAINTAINER "Grelvix developers <grelvix@localhost>"
  CACHE STRING "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME grelvix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION} for Modbus RTU devices")
set(CPACK_PACKAGE_CONTACT "${GRELVIX_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
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
grelvix-devsim simulates such devices on a pseudo-terminal.")

set(CPACK_GENERATOR DEB)
include(CPack)
