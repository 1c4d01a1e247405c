#!/bin/sh
# Installs what the project needs, builds the station and starts it, connected to a simulated
# bus of three devices (demo-run/ holds its Monitor.ini, its log files and the simulator's port)
# and publishing to a Mosquitto broker of its own on the loopback interface.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -DGRELVIX_BUILD_TESTS=OFF -DGRELVIX_BUILD_BENCH=OFF

top=$(pwd)
demo=$top/demo-run
port=$demo/ttyDEMO
mkdir -p "$demo/logs"

"$top/build/tools/grelvix-devsim" --pty --link "$port" --drift --quiet \
  --device 5=21.5,19.0 --device 7=33.0,4.5 --device 9=-12.0,64.0 \
  </dev/null >"$demo/devsim.out" 2>"$demo/devsim.log" &
simulator=$!
broker=""
trap 'kill $simulator $broker 2>/dev/null || true; wait $simulator $broker 2>/dev/null || true' EXIT INT TERM

# The broker listens on 127.0.0.1:1883, or on 18830 when another broker has 1883 already.
start_broker() {
  printf 'listener %s 127.0.0.1\nallow_anonymous true\n' "$1" >"$demo/mosquitto.conf"
  mosquitto -c "$demo/mosquitto.conf" >"$demo/mosquitto.log" 2>&1 &
  broker=$!
  sleep 0.5
  kill -0 $broker 2>/dev/null
}
broker_port=1883
if ! start_broker $broker_port; then
  broker_port=18830
  start_broker $broker_port || echo "Mosquitto did not start (demo-run/mosquitto.log); the station runs without it."
fi
# Written again on every run while it is the demo's own, so it names the port in use.
if [ ! -f "$demo/Grelvix.conf" ] || head -n 1 "$demo/Grelvix.conf" | grep -q '^; Written by scripts/run.sh'; then
  printf '; Written by scripts/run.sh\n[mqtt]\nhost=127.0.0.1\nport=%s\nstation=demo\n' $broker_port >"$demo/Grelvix.conf"
fi

tries=0
until [ -L "$port" ]; do
  tries=$((tries + 1))
  if [ $tries -gt 50 ] || ! kill -0 $simulator 2>/dev/null; then
    echo "The device simulator did not start:" >&2
    cat "$demo/devsim.log" >&2
    exit 1
  fi
  sleep 0.1
done

# The first run gets a configuration naming the simulator's port and devices, and records from
# the start; later runs keep whatever the station saved when it was closed, recording included.
record=""
if [ ! -f "$demo/Monitor.ini" ]; then
  record="--record"
  {
    printf '%s\t' "$port" 0 "$demo/logs/" 2 3 5 7 9
    printf '%s\t' Цех1 40 10 1  Цех2 40 10 1  Печь 30 15 1  Холод 8 2 1  Улица 40 -30 0  Сушилка 80 40 1
    for n in 6 7 8 9 10 11; do printf '%s\t' Датчик 40 10 0; done
    printf '\t'
  } >"$demo/Monitor.ini"
fi

echo "Station polling devices 5, 7 and 9 on the simulated port $port."
echo "It publishes to the broker on 127.0.0.1 port $broker_port; watch it with:"
if [ $broker_port = 1883 ]; then
  echo "  mosquitto_sub -v -t 'grelvix/#'"
else
  echo "  mosquitto_sub -p $broker_port -v -t 'grelvix/#'"
fi
echo "Close the station's window to stop the demo."
# The receive path traces every answer; QT_LOGGING_RULES=default.debug=true shows the traces.
export QT_LOGGING_RULES="${QT_LOGGING_RULES:-default.debug=false}"
cd "$demo"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: the station runs on a virtual X display (xvfb-run); stop it with Ctrl+C."
  xvfb-run -a -s "-screen 0 1280x1024x24" "$top/build/app/grelvix" $record || true
else
  "$top/build/app/grelvix" $record || true
fi
