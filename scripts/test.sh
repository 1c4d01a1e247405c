#!/bin/sh
# Installs what the project needs, checks the formatting, builds with sanitizers and fuzzers,
# and runs every test.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/check-format.sh

dir=${GRELVIX_TEST_BUILD:-build-test}
CC=clang CXX=clang++ ./scripts/build.sh "$dir" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DGRELVIX_SANITIZE=ON -DGRELVIX_FUZZ=ON -DGRELVIX_WERROR=ON \
  -DGRELVIX_FUZZ_SECONDS="${GRELVIX_FUZZ_SECONDS:-60}"

cd "$dir"
ctest --output-on-failure -L unit --parallel "$(nproc)"
# Alone, so that the station it runs is not starved by the other tests.
ctest --output-on-failure -L soak
ctest --output-on-failure -L fuzz --no-tests=ignore
