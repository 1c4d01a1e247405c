#!/bin/sh
# Checks the Debian package on a fresh Debian 12: makes a minimal bookworm root with debootstrap,
# installs the package there with apt-get, starts the installed station on a virtual X display and
# headless as the service's user against the installed simulator, verifies the systemd unit
# where systemd-analyze is at hand, removes and purges the package and checks that nothing of it
# is left but the service's user and data. Needs root and a Debian mirror (GRELVIX_MIRROR,
# deb.debian.org by default); takes a few minutes.
#   scripts/package-check.sh [grelvix_<version>_amd64.deb]     (default: the one in build-package/)
set -eu
cd "$(dirname "$0")/.."

deb=${1:-$(ls build-package/grelvix_*_amd64.deb 2>/dev/null | tail -n 1)}
if [ ! -f "$deb" ]; then
  echo "No package found: run scripts/package.sh first, or name one." >&2
  exit 1
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "Needs root (debootstrap, chroot)." >&2
  exit 1
fi
./scripts/install-deps.sh --package
. ./scripts/freshroot.sh

step "package $(basename "$deb"): $(stat -c %s "$deb") bytes"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"
echo "Recommends: $(dpkg-deb -f "$deb" Recommends)"

make_fresh_root
cp "$deb" "$root/tmp/"

# What runs in the new root; a file rather than standard input, which apt and dpkg may read.
cat >"$root/tmp/check.sh" <<'INSIDE'
export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8
cd /tmp
apt-get update -qq
# An X server for the station to start on, as from a desktop; part of the root before the
# package comes.
apt-get install -y -qq --no-install-recommends xvfb >xvfb.log 2>&1 || { tail -n 30 xvfb.log; exit 1; }
dpkg-query -W -f '${Package}\n' | sort >packages.before
apt-get install -y -qq ./grelvix_*.deb >install.log 2>&1 || { tail -n 30 install.log; exit 1; }
echo "installed: $(dpkg-query -W -f '${Package} ${Version} ${Status}' grelvix)," \
  "$(($(dpkg-query -W -f '${Package}\n' | wc -l) - $(wc -l <packages.before))) packages added"

echo "grelvix --version: $(grelvix --version)"
missing=$(ldd /usr/bin/grelvix /usr/libexec/grelvix/grelvix-window /usr/bin/grelvix-devsim \
  /usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqxcb.so | grep 'not found' || true)
[ -z "$missing" ] || { echo "unresolved libraries: $missing"; exit 1; }
if ldd /usr/bin/grelvix | grep -E 'libQt6Gui|libX11|libxcb|libwayland'; then
  echo "/usr/bin/grelvix links a window system"; exit 1
fi
echo "ldd /usr/bin/grelvix: no Qt Gui, X or Wayland library"
grep -q '^Exec=grelvix$' /usr/share/applications/grelvix.desktop
ls /usr/share/icons/hicolor/*/apps/grelvix.png
getent passwd grelvix | grep -q ':/var/lib/grelvix:/usr/sbin/nologin$' \
  || { echo "no system user grelvix"; getent passwd grelvix; exit 1; }
[ -f /usr/lib/systemd/system/grelvix.service ] \
  && ! ls /etc/systemd/system/*.wants/grelvix.service 2>/dev/null \
  || { echo "grelvix.service not installed, or enabled"; exit 1; }
echo "user grelvix ($(id grelvix)); grelvix.service installed, not enabled"

# A short real start on an X display: the station polls a simulated device on a pseudo-terminal
# for a few cycles, then ends on SIGTERM as on a shutdown (status 0: an orderly end that saves
# Monitor.ini).
Xvfb :7 -nolisten tcp >/dev/null 2>&1 &
xserver=$!
mkdir run && cd run
grelvix-devsim --pty --link /tmp/run/ttySIM --quiet --device 5=21.5,19.0 </dev/null \
  >devsim.out 2>&1 &
devsim=$!
tries=0
until [ -L ttySIM ] && [ -S /tmp/.X11-unix/X7 ]; do
  tries=$((tries + 1)); [ $tries -le 100 ] || { cat devsim.out; exit 1; }; sleep 0.1
done
{
  printf '%s\t' /tmp/run/ttySIM 0 /tmp/run/ 1 1 5
  for n in 0 1 2 3 4 5 6 7 8 9 10 11; do printf '%s\t' Sensor 40 10 0; done
  printf '\t'
} >Monitor.ini
DISPLAY=:7 QT_LOGGING_RULES='default.debug=true' grelvix >station.out 2>&1 &
station=$!
tries=0
until [ "$(cat station.out 2>/dev/null | grep -c 'checked paket')" -ge 3 ]; do
  tries=$((tries + 1))
  [ $tries -le 600 ] && kill -0 $station 2>/dev/null || { echo "no answer polled"; cat station.out; exit 1; }
  sleep 0.1
done
kill -TERM $station
status=0
wait $station || status=$?
kill $devsim $xserver
wait $devsim $xserver || true
[ $status -eq 0 ] || { echo "station ended with $status"; cat station.out; exit 1; }
echo "started on X: polled the simulated device ($(grep -c 'checked paket' station.out)" \
  "answers), ended on SIGTERM with status 0"

# The service's own start without systemd: the user grelvix, in its directory, no display.
cd /var/lib/grelvix
as_grelvix() { setpriv --reuid=grelvix --regid=grelvix --init-groups "$@"; }
as_grelvix grelvix-devsim --pty --link /var/lib/grelvix/ttySIM --quiet --device 5=21.5,19.0 \
  </dev/null >/tmp/devsim2.out 2>&1 &
devsim=$!
tries=0
until [ -L ttySIM ]; do
  tries=$((tries + 1)); [ $tries -le 100 ] || { cat /tmp/devsim2.out; exit 1; }; sleep 0.1
done
as_grelvix sh -c 'printf "%s\t" /var/lib/grelvix/ttySIM 0 /var/lib/grelvix/ 1 1 5 >Monitor.ini
  for n in 0 1 2 3 4 5 6 7 8 9 10 11; do printf "%s\t" Sensor 40 10 0 >>Monitor.ini; done
  printf "\t" >>Monitor.ini'
env -u DISPLAY setpriv --reuid=grelvix --regid=grelvix --init-groups \
  grelvix --headless --dir /var/lib/grelvix --record >/tmp/headless.out 2>&1 &
station=$!
records() { cat Log_*.dat 2>/dev/null | tr -cd '\t' | wc -c; }
tries=0
# A header of 3 tokens, then 3 per record: three records.
until [ "$(records)" -ge 12 ]; do
  tries=$((tries + 1))
  [ $tries -le 300 ] && kill -0 $station 2>/dev/null || { echo "no records"; cat /tmp/headless.out; exit 1; }
  sleep 0.1
done
if grep -E 'libQt6Gui|libX11|libxcb|libwayland' /proc/$station/maps; then
  echo "the headless station loaded a window system"; exit 1
fi
kill -TERM $station
status=0
wait $station || status=$?
kill $devsim
wait $devsim || true
[ $status -eq 0 ] || { echo "headless station ended with $status"; cat /tmp/headless.out; exit 1; }
grep -qx 'recording=on' Grelvix.state
echo "headless as grelvix: $(($(records) / 3 - 1)) records in $(stat -c '%n, owned by %U' Log_*.dat)," \
  "no window system in /proc/PID/maps, ended on SIGTERM with 0; its messages:"
sed 's/^/  /' /tmp/headless.out
cd /tmp

INSIDE

# Run after the unit is verified: the package goes, and nothing of it may stay but the service's
# user and its data.
cat >"$root/tmp/remove.sh" <<'INSIDE'
export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8
cd /tmp
dpkg -L grelvix >files
apt-get remove -y -qq grelvix >remove.log 2>&1 || { cat remove.log; exit 1; }
left=""
while read -r path; do
  [ "$path" != /. ] || continue
  [ -e "$path" ] || [ -L "$path" ] || continue
  # A folder other packages share stays; anything else of the package is a leftover.
  if [ -d "$path" ] && dpkg -S "$path" >/dev/null 2>&1; then continue; fi
  left="$left $path"
done <files
[ -z "$left" ] || { echo "left after removal:$left"; exit 1; }
echo "removed: status '$(dpkg-query -W -f '${Status}' grelvix)', none of its $(wc -l <files)" \
  "paths left"
# The purge runs the maintainer scripts' last part: only the user and the station's data stay.
apt-get purge -y -qq grelvix >purge.log 2>&1 || { cat purge.log; exit 1; }
state=$(dpkg-query -W -f '${Status}' grelvix 2>/dev/null || true)
found=$(find / -xdev \( -path /tmp -o -path /proc -o -path /dev -o -path /var/lib/grelvix \) \
  -prune -o -iname '*grelvix*' -print)
[ -z "$found" ] || { echo "left after purge: $found"; exit 1; }
getent passwd grelvix >/dev/null && ls /var/lib/grelvix/Log_*.dat >/dev/null \
  || { echo "purge took the user grelvix or its logs"; exit 1; }
echo "purged: status '${state:-not installed}', nothing left but the user grelvix and the logs" \
  "in /var/lib/grelvix"

apt-get autoremove --purge -y -qq >autoremove.log 2>&1
dpkg-query -W -f '${Package}\n' | sort >packages.after
if cmp -s packages.before packages.after; then
  echo "autoremove: the root holds exactly the packages it had before"
else
  echo "autoremove: the package list differs:"; diff packages.before packages.after || true
  exit 1
fi
INSIDE

step "install, start on X and headless (in the new root)"
in_fresh_root /tmp/check.sh
if command -v systemd-analyze >/dev/null; then
  # A setting it cannot parse is only a warning: any word from it fails the check.
  said=$(systemd-analyze verify --root="$root" /usr/lib/systemd/system/grelvix.service 2>&1) \
    && [ -z "$said" ] || { echo "$said"; exit 1; }
  step "systemd-analyze verify: grelvix.service has no complaint"
else
  step "systemd-analyze not here: the unit is not verified"
fi
step "remove and purge (in the new root)"
in_fresh_root /tmp/remove.sh
step "passed"
