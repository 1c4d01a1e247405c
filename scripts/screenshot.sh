#!/bin/sh
# Captures a window of the station running on a virtual X display:
#   scripts/screenshot.sh <grelvix binary> <output.png> [window title] [working dir] [delay s]
# The station runs in the working directory (its Monitor.ini, if any, applies).
set -eu
binary=$(readlink -f "$1")
output=$(readlink -f "$(dirname "$2")")/$(basename "$2")
title=${3:-Grelvix}
workdir=${4:-$(mktemp -d)}
delay=${5:-3}

cd "$workdir"
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
  "$0" &
  pid=$!
  sleep "$3"
  id=$(xwininfo -root -tree | grep "\"$2\"" | head -n 1 | awk "{print \$1}")
  if [ -z "$id" ]; then echo "window \"$2\" not found" >&2; kill $pid; exit 1; fi
  import -window "$id" "$1"
  kill $pid
  wait $pid 2>/dev/null || true
' "$binary" "$output" "$title" "$delay"
