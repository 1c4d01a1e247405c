#!/bin/sh
# Installs every Debian package the station needs to build, run and test.
#   scripts/install-deps.sh            the station, its tests and benchmarks
#   scripts/install-deps.sh --windows  also the cross toolchain and Wine (scripts/windows-*.sh)
#   scripts/install-deps.sh --package  also what makes and checks the Debian package
#                                      (scripts/package.sh, scripts/package-check.sh)
# Safe to run again: apt-get skips what is already there.
set -eu

PACKAGES="
  build-essential cmake pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-5compat-dev qt6-multimedia-dev
  qt6-qpa-plugins libqt6svg6
  libqcustomplot-dev libqcustomplot2.1-qt6
  clang libclang-rt-14-dev clang-format-14
  libudev-dev libsystemd-dev
  xvfb xauth x11-utils imagemagick
  fonts-dejavu-core fonts-liberation
  locales
  mosquitto mosquitto-clients libmosquitto-dev libssl-dev openssl
  ser2net
"

# Cross-building for Windows and running the result under Wine against a pseudo-terminal;
# dpkg-dev unpacks the Qt sources the cross build starts from; xdotool plays the operator in
# scripts/windows-run-check.sh. fonts-wine has Wine's Tahoma, Qt's default font on Windows.
WINDOWS_PACKAGES="
  g++-mingw-w64-x86-64-posix ninja-build wine64 fonts-wine socat dpkg-dev xdotool
"

# dpkg-shlibdeps finds the package's dependencies; debootstrap makes a fresh Debian root.
PACKAGE_PACKAGES="
  dpkg-dev debootstrap
"

case "${1:-}" in
"") ;;
--windows) PACKAGES="$PACKAGES $WINDOWS_PACKAGES" ;;
--package) PACKAGES="$PACKAGES $PACKAGE_PACKAGES" ;;
*)
  echo "usage: $0 [--windows | --package]" >&2
  exit 2
  ;;
esac

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

if [ -n "$missing" ]; then
  echo "Installing:$missing"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
fi

# Wine takes Windows' code page from the locale: the run check runs it in ru_RU.UTF-8 (CP-1251),
# as on a Russian Windows.
if [ "${1:-}" = --windows ] && ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
  $SUDO localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
