#!/bin/sh
# Installs every Debian package the station needs to build, run and test.
# Safe to run again: apt-get skips what is already there.
set -eu

PACKAGES="
  build-essential cmake pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-5compat-dev qt6-multimedia-dev
  qt6-qpa-plugins libqt6svg6
  libqcustomplot-dev libqcustomplot2.1-qt6
  clang libclang-rt-14-dev clang-format-14
  xvfb xauth x11-utils imagemagick
  fonts-dejavu-core fonts-liberation
  locales
"

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
