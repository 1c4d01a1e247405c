#!/bin/sh
# Builds the station for Windows here on Debian, with mingw-w64, and packs it:
#   scripts/windows-build.sh
# Installs the cross toolchain (scripts/install-deps.sh --windows), cross-builds what the station
# needs once into ~/.cache/grelvix (scripts/windows/deps.sh: Qt's Core, Gui, Widgets and
# PrintSupport with the Windows platform plugin from Debian's qt6-base source, then QCustomPlot
# from Debian's qcustomplot source), builds the station into build-win64/ and makes
# build-win64/package/grelvix-<version>-win64.zip. Later runs reuse the cache and rebuild only the
# station. Not part of .ci/run; scripts/windows-run-check.sh runs the zip under Wine.
set -eu
cd "$(dirname "$0")/.."
GRELVIX_ROOT=$(pwd)
./scripts/install-deps.sh --windows
. ./scripts/windows/deps.sh

# Each step with the time it took: a dependency that is cached takes none.
timed() {
  started=$(date +%s)
  "$@"
  echo "windows-build: $1 took $(($(date +%s) - started)) s"
}

timed build_qt6_base
timed build_qcustomplot

build_station() {
  cmake -S . -B build-win64 -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$QT_MINGW_PREFIX/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$WINDOWS_TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release \
    -DGRELVIX_BUILD_TESTS=OFF -DGRELVIX_BUILD_BENCH=OFF -DGRELVIX_WERROR=ON
  cmake --build build-win64 --parallel "$WINDOWS_JOBS"
  rm -rf build-win64/package
  (cd build-win64 && cpack -G ZIP)
}
timed build_station

zip=$(find build-win64/package -maxdepth 1 -name 'grelvix-*-win64.zip')
echo "windows-build: $zip ($(du -k "$zip" | cut -f1) KiB)"
