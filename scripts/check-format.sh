#!/bin/sh
# Fails when a C++ file differs from what .clang-format makes of it. The formatter is pinned to
# the release scripts/install-deps.sh installs: other releases lay out the same code differently.
# In a git checkout the tracked files are checked, elsewhere those of the source folders.
set -eu
cd "$(dirname "$0")/.."
format=clang-format-14
top=$(pwd)

list_files() {
  if [ "$(git rev-parse --show-toplevel 2>/dev/null || true)" = "$top" ]; then
    git ls-files -z -- '*.cpp' '*.h'
  else
    find app bench common graphs headless serial settings tests tools \
      \( -name '*.cpp' -o -name '*.h' \) -print0
  fi
}

if ! list_files | xargs -0 "$format" --dry-run --Werror; then
  echo "Formatting differs from .clang-format; run $format -i on the files above." >&2
  exit 1
fi
