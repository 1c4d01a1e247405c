#!/bin/sh
# Installs what the project needs, builds the station and starts it.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -DGRELVIX_BUILD_TESTS=OFF -DGRELVIX_BUILD_BENCH=OFF

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting the station on a virtual X display (xvfb-run)."
  exec xvfb-run -a -s "-screen 0 1280x1024x24" ./build/app/grelvix
fi
exec ./build/app/grelvix
