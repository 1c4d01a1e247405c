#!/bin/sh
# Checks the Debian package on a fresh Debian 12: makes a minimal bookworm root with debootstrap,
# installs the package there with apt-get, starts the installed station headless against the
# installed simulator, removes the package and checks that nothing of it is left. Needs root and
# a Debian mirror (GRELVIX_MIRROR, deb.debian.org by default); takes a few minutes.
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
missing=$(ldd /usr/bin/grelvix /usr/bin/grelvix-devsim \
  /usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqxcb.so | grep 'not found' || true)
[ -z "$missing" ] || { echo "unresolved libraries: $missing"; exit 1; }
grep -q '^Exec=grelvix$' /usr/share/applications/grelvix.desktop
ls /usr/share/icons/hicolor/*/apps/grelvix.png

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
until [ "$(grep -c 'checked paket' station.out)" -ge 3 ]; do
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
cd /tmp

dpkg -L grelvix >files
apt-get remove -y -qq grelvix >remove.log 2>&1 || { cat remove.log; exit 1; }
state=$(dpkg-query -W -f '${Status}' grelvix 2>/dev/null || true)
left=""
while read -r path; do
  [ "$path" != /. ] || continue
  [ -e "$path" ] || [ -L "$path" ] || continue
  # A folder other packages share stays; anything else of the package is a leftover.
  if [ -d "$path" ] && dpkg -S "$path" >/dev/null 2>&1; then continue; fi
  left="$left $path"
done <files
found=$(find / -xdev \( -path /tmp -o -path /proc -o -path /dev \) -prune -o \
  -iname '*grelvix*' -print)
[ -z "$left$found" ] || { echo "left after removal:$left $found"; exit 1; }
echo "removed: status '${state:-not installed}', none of its $(wc -l <files) paths left"

apt-get autoremove --purge -y -qq >autoremove.log 2>&1
dpkg-query -W -f '${Package}\n' | sort >packages.after
if cmp -s packages.before packages.after; then
  echo "autoremove: the root holds exactly the packages it had before"
else
  echo "autoremove: the package list differs:"; diff packages.before packages.after || true
  exit 1
fi
INSIDE

step "install, start, remove (in the new root)"
in_fresh_root /tmp/check.sh
step "passed"
