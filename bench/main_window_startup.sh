#!/usr/bin/env bash
# Times kiplaunch with 1000 definitions from exec to its window mapped on an Xvfb display with openbox;
# the list is filled and sorted before the window maps (the first showing runs as it is shown). Reports
# the median of RUNS runs (default 9) in milliseconds. Polling the window list adds a few milliseconds.
#
# Usage: bench/main_window_startup.sh PATH/TO/kiplaunch [PATH/TO/kipctl]
set -euo pipefail
[[ $# -ge 1 ]] || { echo "usage: $0 PATH/TO/kiplaunch [PATH/TO/kipctl]" >&2; exit 2; }
kiplaunch=$(realpath "$1")
kipctl=$(realpath "${2:-$(dirname "$kiplaunch")/kipctl}")
runs=${RUNS:-9}
for tool in Xvfb openbox xdotool xdpyinfo; do
  command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/kip-window-bench.XXXXXX")
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -m 700 "$work/run"
export KIPLAUNCH_USER_HIVE=$work/user.db KIPLAUNCH_MACHINE_HIVE=$work/machine.db KIPLAUNCH_RUNTIME_DIR=$work/run
export KIPLAUNCH_POWER_SUPPLY_DIR=$work/no-power KIPLAUNCH_PROMPT_LOG=$work/prompts.log

# 1000 definitions through one registry file import.
{
  echo "REGEDIT4"
  for i in $(seq 0 999); do
    echo
    echo "[HKEY_CURRENT_USER\\Software\\Marl Fen\\Kip Launch Manager\\Start List\\Definition $i]"
    echo "\"Module\"=\"/usr/lib/vendor/bin/program-$(((i * 7919) % 1000))\""
    printf '"Sequence"=dword:%08x\n"Apm"=dword:%08x\n' $((i % 5)) $((i % 3))
  done
  echo
  echo "[HKEY_CURRENT_USER\\Software\\Marl Fen\\Kip Launch Manager\\Preferences]"
  echo '"Splash"=dword:00000000'
  echo '"SortCol"=dword:00000008'
} >"$work/defs.reg"
"$kipctl" reg import "$work/defs.reg" >/dev/null

source "$(cd "$(dirname "$0")" && pwd)/../tools/x_session.sh"
start_x_session 1280x800

times=()
for run in $(seq "$runs"); do
  start=$(date +%s%N)
  "$kiplaunch" >/dev/null 2>&1 &
  app=$!
  shown=""
  for _ in $(seq 3000); do  # bounded: some 10 s of polling
    if xdotool search --onlyvisible --name '^Kip Launch Manager$' >/dev/null 2>&1; then
      shown=$(date +%s%N)
      break
    fi
  done
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
  [[ -n $shown ]] || { echo "run $run: the window never appeared" >&2; exit 1; }
  times+=($(((shown - start) / 1000000)))
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "exec to list shown, 1000 definitions: median ${sorted[$((runs / 2))]} ms (runs: ${times[*]})"
