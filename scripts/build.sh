#!/bin/sh
# Configures and builds one build tree: scripts/build.sh <dir> [cmake options...]
set -eu
cd "$(dirname "$0")/.."
dir=$1
shift
cmake -S . -B "$dir" "$@"
cmake --build "$dir" --parallel "$(nproc)"
