#!/bin/sh
# Builds the Debian package of the station into build-package/ and prints its path:
#   scripts/package.sh
# Install it with: apt-get install ./build-package/grelvix_<version>_amd64.deb
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --package
./scripts/build.sh build-package -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DGRELVIX_BUILD_TESTS=OFF -DGRELVIX_BUILD_BENCH=OFF
cd build-package
rm -f grelvix_*.deb
cpack -G DEB >cpack.log || { cat cpack.log >&2; exit 1; }
ls "$(pwd)"/grelvix_*.deb
