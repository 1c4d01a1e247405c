#!/bin/sh
# Runs the Windows station from its zip under Wine on a virtual X display, against the device
# simulator on a pseudo-terminal that Wine knows as COM5, and checks it as an operator sees it:
#   scripts/windows-run-check.sh [grelvix-<version>-win64.zip]
# The zip comes from scripts/windows-build.sh; the Linux station and simulator from build/
# (built here when missing; GRELVIX_LINUX_BUILD names another build tree). Operator actions
# (search, record, open a log) are clicks and keys through xdotool. Wine runs in a Russian
# locale, so the Windows station writes its files in CP-1251 as on a Russian Windows.
#   1. A Linux station records a log from the simulator (a log to open on Windows).
#   2. The Windows station starts from a Monitor.ini naming COM5, scans the bus, records for a
#      minute while device 9 goes silent and sends corrupt answers for a while; T2 is set to
#      alarm. Its log must hold, cycle by cycle, what the simulator served (--record); the alarm
#      sound must start. It opens the Linux log in its analysis window, then its window is
#      closed, which writes Monitor.ini.
#   3. A Linux station starts from that Monitor.ini, opens the Windows log in its analysis
#      window, and writes Monitor.ini back at exit: the same settings as the Windows one wrote.
# GRELVIX_WINDOWS_SHOT=FILE keeps the screenshot of the Windows station (docs/windows.png).
# Not part of .ci/run.
set -eu
cd "$(dirname "$0")/.."
if [ -z "${GRELVIX_RUN_CHECK_DISPLAY:-}" ]; then
  ./scripts/install-deps.sh --windows
  exec env GRELVIX_RUN_CHECK_DISPLAY=1 xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
GRELVIX_ROOT=$(pwd)
. ./scripts/windows/deps.sh

zip=${1:-$(find build-win64/package -maxdepth 1 -name 'grelvix-*-win64.zip' | head -n 1)}
[ -f "$zip" ] || { echo "no Windows zip; run scripts/windows-build.sh first" >&2; exit 1; }
zip=$(realpath "$zip")
linux=$(realpath -m "${GRELVIX_LINUX_BUILD:-build}")
if [ ! -f "$linux/CMakeCache.txt" ]; then
  cmake -S . -B "$linux" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$linux" --parallel 2 --target grelvix grelvix-devsim

run=$(mktemp -d /tmp/grelvix-run-check.XXXXXX)
echo "windows-run-check: working in $run"
sim=""
cleanup() {
  if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; fi
  /usr/lib/wine/wineserver -k 2>/dev/null || true
}
trap cleanup EXIT INT TERM

failed=0
check() {
  if eval "$2"; then echo "PASS $1"; else echo "FAIL $1"; failed=$((failed + 1)); fi
}

# Waits up to $2 seconds for the shell condition $1.
wait_for() {
  tries=0
  until eval "$1"; do
    tries=$((tries + 1))
    [ $tries -le $(($2 * 10)) ] || return 1
    sleep 0.1
  done
}

# The station's windows, by title; the first match.
window() {
  xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1
}

# A click at a point of a window's client area, as the .ui files place the widgets (X windows
# of Qt on Linux and of Wine alike are the client area).
click() {
  xdotool mousemove --window "$1" "$2" "$3" click 1
  sleep 0.5
}

# Types a file's path into the file dialog that the analysis window opens, and accepts it.
open_in_dialog() {
  wait_for '[ -n "$(window "Открыть файл")" ]' 30 || true
  sleep 1
  xdotool windowfocus "$(window "Открыть файл")" 2>/dev/null || true
  sleep 0.5
  xdotool type --delay 30 "$1"
  xdotool key Return
}

shoot() {
  import -window root "$run/$1.png" 2>/dev/null || true
}

# Names every channel, puts T2 ("Печь", device 7's first sensor at about 33 degrees) in alarm.
channels() {
  printf '%s\t' Цех1 40 10 1 Цех2 40 10 1 Печь 30 15 1 Холод 40 -10 1 Улица 40 -30 1 Сушилка 80 -30 1
  for n in 6 7 8 9 10 11; do printf '%s\t' Датчик 40 10 0; done
}

# The simulator: three devices, their temperatures drifting; commands through a FIFO.
mkfifo "$run/devsim.in"
"$linux/tools/grelvix-devsim" --pty --link "$run/com5" --drift --seed 16 \
  --device 5=21.5,19.0 --device 7=33.0,4.5 --device 9=-12.0,64.0 \
  --record "$run/served.txt" --quiet <"$run/devsim.in" >"$run/devsim.out" 2>"$run/devsim.err" &
sim=$!
exec 4>"$run/devsim.in"
wait_for '[ -L "$run/com5" ]' 10 || { echo "the simulator did not start" >&2; exit 1; }
# Temperature answers served to address $1 so far.
answers() { grep -c "^[0-9.]* $1 " "$run/served.txt" 2>/dev/null || true; }

export QT_LOGGING_RULES="default.debug=true;qt.*.debug=false"

# 1. A Linux station records a few cycles.
mkdir -p "$run/linux1" "$run/linux-logs"
{
  printf '%s\t' "$run/com5" 0 "$run/linux-logs/" 2 3 5 7 9
  channels
  printf '\t'
} >"$run/linux1/Monitor.ini"
(cd "$run/linux1" && exec "$linux/app/grelvix" >"$run/linux1.out" 2>&1) &
station=$!
wait_for '[ -n "$(window "^Grelvix$")" ]' 30
main=$(window "^Grelvix$")
before=$(answers 5)
wait_for '[ "$(answers 5)" -gt "$before" ]' 30
click "$main" 162 110 # StartLog
sleep 12
kill -TERM $station
wait $station || true
linux_log=$(find "$run/linux-logs" -name 'Log_*.dat' | head -n 1)
check "Linux station recorded a log" '[ -s "$linux_log" ]'

# 2. The Windows station, in a Russian locale (Wine's code page for non-Unicode programs is then
# CP-1251), with a silent ALSA device as Wine's sound output: PlaySound then plays for real.
setup_wine
export LC_ALL=ru_RU.UTF-8
printf '</usr/share/alsa/alsa.conf>\npcm.!default { type null }\n' >"$run/asound.conf"
export ALSA_CONFIG_PATH="$run/asound.conf"
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
cmake -E chdir "$run" cmake -E tar xf "$zip"
station_dir=$(find "$run" -maxdepth 1 -type d -name 'grelvix-*-win64')
mkdir -p "$run/win-logs"
# A short beep as the alarm sound: 8 kHz, 8 bit, mono, 0.25 s.
{
  printf 'RIFF\044\010\000\000WAVEfmt \020\000\000\000\001\000\001\000\100\037\000\000'
  printf '\100\037\000\000\001\000\010\000data\000\010\000\000'
  i=0
  while [ $i -lt 256 ]; do printf '\100\100\100\100\300\300\300\300'; i=$((i + 1)); done
} >"$run/alarm.wav"
{
  printf '%s\t' COM5 0 "$(winpath "$run/win-logs/")" 2 0
  channels
  printf '%s\t' "$(winpath "$run/alarm.wav")"
} | iconv -f UTF-8 -t CP1251 >"$station_dir/Monitor.ini"
cp "$station_dir/Monitor.ini" "$run/Monitor.ini.given"
ln -sfn "$run/com5" "$WINEPREFIX/dosdevices/com5"

# Wine hands no QT_* variable of ours to Windows programs: cmd sets them. Messages to stderr.
(cd "$station_dir" && exec $WINE cmd /c "set QT_FORCE_STDERR_LOGGING=1&& set QT_LOGGING_RULES=$QT_LOGGING_RULES&& grelvix.exe" >"$run/windows.out" 2>&1) &
station=$!
wait_for '[ -n "$(window "^Grelvix$")" ]' 120 || { echo "no window from grelvix.exe" >&2; exit 1; }
main=$(window "^Grelvix$")
sleep 3
shoot windows-start

before=$(answers 9)
click "$main" 425 45 # "Поиск Устройств"
# The scan probes addresses 1 to 254, one per 45 ms tick; then polling starts.
wait_for '[ "$(answers 9)" -gt "$before" ]' 60 || true
record_start=$(date +%s)
click "$main" 162 110 # StartLog
# Device 9's faults while recording: silent for a while, then answers with a corrupt check.
(
  sleep 15
  echo "fault 9 silent"
  sleep 10
  echo "fault 9 none"
  sleep 10
  echo "fault 9 badcrc"
  sleep 10
  echo "fault 9 none"
) >&4 &
sleep 62
shoot windows-recording
if [ -n "${GRELVIX_WINDOWS_SHOT:-}" ]; then
  import -window "$main" "$GRELVIX_WINDOWS_SHOT"
fi

# The Linux log in the Windows analysis window.
click "$main" 642 110 # GraphAnalisys
wait_for '[ -n "$(window "^plotfiles$")" ]' 30 || true
analysis=$(window "^plotfiles$")
click "$analysis" 65 25 # OpenFileData
open_in_dialog "$(winpath "$linux_log")"
wait_for "grep -q 'shown:' '$run/windows.out'" 30 || true
shoot windows-analysis

# Closing the main window ends the station, which writes Monitor.ini.
$WINE taskkill /im grelvix.exe >/dev/null 2>&1 || true
wait_for '! kill -0 $station 2>/dev/null' 60 || true
windows_log=$(find "$run/win-logs" -name 'Log_*.dat' | head -n 1)
iconv -f CP1251 -t UTF-8 "$station_dir/Monitor.ini" >"$run/Monitor.ini.windows"
# Qt on Windows writes its messages in the code page too.
iconv -c -f CP1251 -t UTF-8 "$run/windows.out" >"$run/windows.txt"

# 3. A Linux station reads the Windows Monitor.ini and opens the Windows log.
mkdir -p "$run/linux2"
cp "$station_dir/Monitor.ini" "$run/linux2/Monitor.ini"
(cd "$run/linux2" && exec "$linux/app/grelvix" >"$run/linux2.out" 2>&1) &
station=$!
wait_for '[ -n "$(window "^Grelvix$")" ]' 30
main=$(window "^Grelvix$")
click "$main" 642 110 # GraphAnalisys
wait_for '[ -n "$(window "^plotfiles$")" ]' 30 || true
click "$(window "^plotfiles$")" 65 25 # OpenFileData
open_in_dialog "$windows_log"
wait_for "grep -q 'shown:' '$run/linux2.out'" 30 || true
shoot linux-analysis
kill -TERM $station
wait $station || true

# What the Windows station did.
echo "== the Windows station"
check "opened COM5 as Monitor.ini says" "grep -q 'Порт  \"COM5\"  открыт' '$run/windows.txt'"
check "built with the Windows engine: grelvix.exe imports WaitCommEvent and SetCommState" \
  "x86_64-w64-mingw32-objdump -p '$station_dir/grelvix.exe' | grep -q WaitCommEvent && x86_64-w64-mingw32-objdump -p '$station_dir/grelvix.exe' | grep -q SetCommState"
check "polled the simulator: more than 60 answers served while it recorded, checked answers received" \
  "[ \"\$(awk -v t=$record_start '\$1 >= t' '$run/served.txt' | wc -l)\" -gt 60 ] && grep -q 'checked paket' '$run/windows.txt'"
check "its log holds every poll cycle the simulator served, and nan where device 9 gave none" \
  "awk -f scripts/windows/logmatch.awk -v devices='5 7 9' '$run/served.txt' '$windows_log' >'$run/logmatch.txt'"
cat "$run/logmatch.txt"
check "the alarm sound started" "grep -q 'Alarm sound started' '$run/windows.txt'"
check "the alarm sound played (PlaySound did not fail)" "! grep -q 'cannot be played' '$run/windows.txt'"
check "closing wrote Monitor.ini with the devices found" \
  "grep -q \"^COM5	0	[^	]*	2	3	5	7	9	Цех1	\" '$run/Monitor.ini.windows'"
check "the Linux log opened in the Windows analysis window" \
  "grep -q 'shown: 6 channels (Цех1, Цех2, Печь, Холод, Улица, Сушилка)' '$run/windows.txt'"
echo "== the Linux station"
check "read the Windows Monitor.ini back, whole" "cmp -s '$run/Monitor.ini.windows' '$run/linux2/Monitor.ini'"
check "the Windows log opened in the Linux analysis window" \
  "grep -q 'shown: 6 channels (Цех1, Цех2, Печь, Холод, Улица, Сушилка)' '$run/linux2.out'"

if [ $failed -ne 0 ]; then
  echo "windows-run-check: $failed check(s) failed; see $run" >&2
  exit 1
fi
echo "windows-run-check: all checks passed ($run)"
