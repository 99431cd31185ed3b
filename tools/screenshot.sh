#!/usr/bin/env bash
# Makes docs/screenshots/main-window.png: starts build/kiplaunch on a private Xvfb display with openbox,
# in temporary hives holding a few typical definitions, and saves a picture of its window.
#   tools/screenshot.sh [OUTPUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshots/main-window.png}
for tool in Xvfb openbox xdotool xdpyinfo import; do
  command -v "$tool" >/dev/null || { echo "screenshot.sh: $tool is missing (apt-get install xvfb openbox xdotool x11-utils imagemagick)" >&2; exit 1; }
done
[[ -x build/kiplaunch && -x build/kipctl ]] || { echo "screenshot.sh: build kiplaunch and kipctl first" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -m 700 "$work/run"
export KIPLAUNCH_USER_HIVE=$work/user.db KIPLAUNCH_MACHINE_HIVE=$work/machine.db
export KIPLAUNCH_RUNTIME_DIR=$work/run KIPLAUNCH_POWER_SUPPLY_DIR=$work/no-power KIPLAUNCH_PROMPT_LOG=$work/prompts.log

list='Software\Marl Fen\Kip Launch Manager\Start List'
# define HIVE NAME MODULE [VALUE TYPE DATA]...
define() {
  local hive=$1 name=$2 module=$3 key
  key="$hive\\$list\\$name"
  shift 3
  ./build/kipctl reg add "$key" /v Module /d "$module" /f >/dev/null
  while (($#)); do
    ./build/kipctl reg add "$key" /v "$1" /t "$2" /d "$3" /f >/dev/null
    shift 3
  done
}
dw=REG_DWORD
define HKCU "Mail client" /usr/bin/thunderbird Net $dw 1 Sequence $dw 1 Delay $dw 30 Result REG_SZ OK
define HKCU "Backup" /usr/local/bin/backup.sh Apm $dw 1 Days $dw 31 From $dw 900 To $dw 1700 Sequence $dw 3 \
  Msg $dw 600 Result REG_SZ "Power Off"
define HKCU "Terminal" /usr/bin/xterm Window $dw 1 Result REG_SZ OK
define HKCU "Chat" /usr/bin/pidgin Disable $dw 1 Net $dw 1 Dun $dw 2 Sequence $dw 2
define HKCU "Notes" /usr/bin/gedit Wait $dw 20 WaitType $dw 1 User REG_SZ "$(id -un)" Sequence $dw 2
define HKLM "Clock" /usr/bin/xclock Sequence $dw 1
prefs='HKCU\Software\Marl Fen\Kip Launch Manager\Preferences'
./build/kipctl reg add "$prefs" /v Splash /t $dw /d 0 /f >/dev/null
./build/kipctl reg add "$prefs" /v Global /t $dw /d 1 /f >/dev/null
./build/kipctl reg add "$prefs" /v SortCol /t $dw /d 8 /f >/dev/null
./build/kipctl reg add "$prefs" /v Width /t $dw /d 720 /f >/dev/null
./build/kipctl reg add "$prefs" /v Height /t $dw /d 330 /f >/dev/null
./build/kipctl reg add "$prefs" /v Left /t $dw /d 20 /f >/dev/null
./build/kipctl reg add "$prefs" /v Top /t $dw /d 20 /f >/dev/null
./build/kipctl reg add "$prefs" /v Col-1 /t $dw /d 190 /f >/dev/null

source tools/x_session.sh
start_x_session 1024x600
./build/kiplaunch >/dev/null 2>&1 &
pids+=($!)
window=""
for _ in $(seq 50); do
  window=$(xdotool search --sync --limit 1 --name '^Kip Launch Manager$' 2>/dev/null | head -1) && [[ -n $window ]] && break
  sleep 0.2
done
[[ -n $window ]] || { echo "screenshot.sh: the window did not appear" >&2; exit 1; }
# Select a row, so the picture shows the commands it enables.
xdotool windowactivate --sync "$window" key --clearmodifiers Down 2>/dev/null || true
sleep 1
mkdir -p "$(dirname "$out")"
import -window "$window" "$out"
echo "screenshot: $out"
