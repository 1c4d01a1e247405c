#!/bin/sh
# Builds the serial layer for Windows and checks its Windows engine under Wine, with a
# pseudo-terminal as COM5 and an echoing peer on the other end, and its port enumerator:
#   scripts/windows-check.sh
# Installs the cross toolchain and Wine (scripts/install-deps.sh --windows), cross-builds Qt once
# into ~/.cache/grelvix/qt6-mingw (the station's Qt, shared with scripts/windows-build.sh; later
# runs reuse it), builds into build-windows/ and runs tests/serial/wine/serialconformance.exe
# step by step.
# Not part of .ci/run.
set -eu
cd "$(dirname "$0")/.."
GRELVIX_ROOT=$(pwd)
./scripts/install-deps.sh --windows

. ./scripts/windows/deps.sh
build_qt6_base

build=$GRELVIX_ROOT/build-windows
cmake -S tests/serial/wine -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$QT_MINGW_PREFIX/lib/cmake/Qt6/qt.toolchain.cmake" \
  -DQT_CHAINLOAD_TOOLCHAIN_FILE="$WINDOWS_TOOLCHAIN" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGRELVIX_WERROR=ON
cmake --build "$build" --parallel "$WINDOWS_JOBS"
copy_runtime_dlls "$build" Core

setup_wine
wine=$WINE

run=$(mktemp -d)
peer=""
cleanup() {
  if [ -n "$peer" ]; then kill "$peer" 2>/dev/null || true; fi
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$run"
}
trap cleanup EXIT INT TERM

# An echoing peer behind a new pty, linked as COM5.
start_peer() {
  rm -f "$run/com5"
  socat "pty,rawer,link=$run/com5" exec:cat &
  peer=$!
  tries=0
  until [ -L "$run/com5" ]; do
    tries=$((tries + 1))
    [ $tries -le 50 ] || { echo "socat did not start" >&2; exit 1; }
    sleep 0.1
  done
  ln -sfn "$run/com5" "$WINEPREFIX/dosdevices/com5"
}

stop_peer() {
  kill "$peer" 2>/dev/null || true
  wait "$peer" 2>/dev/null || true
  peer=""
}

failed=0
# One step of the conformance program, with a fresh peer (nothing left over from before).
conformance() {
  echo "== $1"
  start_peer
  if ! timeout 120 $wine "$build/serialconformance.exe" "$@" COM5; then
    failed=$((failed + 1))
  fi
  stop_peer
}

# Waits until a line appears in a file written by a program running in the background.
wait_for_line() {
  tries=0
  until grep -q "^$1" "$2" 2>/dev/null; do
    tries=$((tries + 1))
    [ $tries -le 600 ] || return 1
    sleep 0.1
  done
}

check() {
  if eval "$2"; then echo "PASS $1"; else echo "FAIL $1"; failed=$((failed + 1)); fi
}

# Wine's server keeps its own diagnostics to itself.
/usr/lib/wine/wineserver -p 2>"$run/wineserver.log" || true
conformance roundtrip
conformance timeouts

# Settings: what the port has is found at open, what is set reaches the tty, and the port
# gets its own settings back at close. A pty keeps speed, stop bits and flow control; it has
# no parity and always 8 data bits.
echo "== settings"
start_peer
stty -F "$run/com5" 4800 cstopb crtscts -ixon -ixoff
mkfifo "$run/control"
timeout 120 $wine "$build/serialconformance.exe" settings COM5 <"$run/control" >"$run/settings.out" 2>&1 &
program=$!
exec 3>"$run/control"
if wait_for_line applied "$run/settings.out"; then
  stty -F "$run/com5" -a >"$run/stty-open"
fi
echo >&3
exec 3>&-
wait $program || failed=$((failed + 1))
cat "$run/settings.out"
# Wine reads no flow control back from a pty (it has no modem lines), so the flow is not checked.
check "4800 baud, 8N2 found at open" "grep -q '^found 4800 baud, 8 bit, None, 2' '$run/settings.out'"
check "19200 baud, 1 stop bit, Xon/Xoff on the tty" \
  "grep -q 'speed 19200' '$run/stty-open' && grep -qw -- -cstopb '$run/stty-open' && grep -qw -- -crtscts '$run/stty-open' && grep -qw ixon '$run/stty-open' && grep -qw ixoff '$run/stty-open'"
stty -F "$run/com5" -a >"$run/stty-closed"
check "the tty's own settings back after close" \
  "grep -q 'speed 4800' '$run/stty-closed' && grep -qw cstopb '$run/stty-closed' && grep -qw crtscts '$run/stty-closed' && grep -qw -- -ixon '$run/stty-closed' && grep -qw -- -ixoff '$run/stty-closed'"
stop_peer

# The port vanishing: the peer goes away while the port is open.
echo "== vanish"
start_peer
timeout 120 $wine "$build/serialconformance.exe" vanish COM5 >"$run/vanish.out" 2>&1 &
program=$!
wait_for_line ready "$run/vanish.out" || true
stop_peer
wait $program || failed=$((failed + 1))
cat "$run/vanish.out"

# The port enumerator: what Wine lists while COM5 is there, and its registry watch.
echo "== enumerate"
start_peer
if ! timeout 120 $wine "$build/serialconformance.exe" enumerate; then
  failed=$((failed + 1))
fi
stop_peer

if [ $failed -ne 0 ]; then
  echo "windows-check: $failed step(s) failed" >&2
  exit 1
fi
echo "windows-check: all steps passed"
