#!/usr/bin/env bash
# Times kiplaunch from exec to its window mapped on an Xvfb display with openbox, once with no definition
# and once with 1000 definitions that carry what a user builds up: parameters, a start folder, power,
# network and dial-up conditions, days, a time window, a delay and an after-action. The list is filled
# and sorted before the window maps (the first showing runs as it is shown). Reports the median of RUNS
# runs (default 9) in milliseconds for each, and their ratio. Polling the window list adds a few
# milliseconds. BASELINE names another kiplaunch (an older build, its window module beside it), measured
# in the same runs.
#
# Usage: bench/main_window_startup.sh PATH/TO/kiplaunch [PATH/TO/kipctl]
set -euo pipefail
[[ $# -ge 1 ]] || { echo "usage: $0 PATH/TO/kiplaunch [PATH/TO/kipctl]" >&2; exit 2; }
kiplaunch=$(realpath "$1")
kipctl=$(realpath "${2:-$(dirname "$kiplaunch")/kipctl}")
runs=${RUNS:-9}
baseline=${BASELINE:+$(realpath "$BASELINE")}
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
export KIPLAUNCH_MACHINE_HIVE=$work/machine.db KIPLAUNCH_RUNTIME_DIR=$work/run
export KIPLAUNCH_POWER_SUPPLY_DIR=$work/no-power KIPLAUNCH_PROMPT_LOG=$work/prompts.log

preferences() {
  echo "[HKEY_CURRENT_USER\\Software\\Marl Fen\\Kip Launch Manager\\Preferences]"
  echo '"Splash"=dword:00000000'
  echo '"SortCol"=dword:00000008'
}
# 1000 definitions through one registry file import, and a hive with none.
{
  echo "REGEDIT4"
  for i in $(seq 0 999); do
    echo
    echo "[HKEY_CURRENT_USER\\Software\\Marl Fen\\Kip Launch Manager\\Start List\\Definition $i]"
    echo "\"Module\"=\"/usr/lib/vendor/bin/program-$(((i * 7919) % 1000))\""
    echo "\"Parms\"=\"--profile work-$i --quiet\""
    echo "\"Start Directory\"=\"/home/user/work/$((i % 40))\""
    printf '"Sequence"=dword:%08x\n"Apm"=dword:%08x\n"Net"=dword:%08x\n"Dun"=dword:%08x\n' \
      $((i % 5)) $((i % 3)) $((i % 3)) $(((i / 3) % 3))
    printf '"Days"=dword:%08x\n"From"=dword:%08x\n"To"=dword:%08x\n' $((31 + (i % 2) * 96)) 800 $((1700 + i % 7 * 100))
    printf '"Delay"=dword:%08x\n"Msg"=dword:%08x\n"MsgID"=dword:%08x\n' $((i % 4 * 15)) $((i % 3 * 30)) $((i % 4))
    printf '"Wait"=dword:%08x\n"WaitType"=dword:%08x\n' $((i % 2 * 10)) $((i % 2))
    if ((i % 4 == 0)); then
      echo "\"NetResource\"=\"\\\\\\\\fileserver\\\\share$((i % 10))\""
      echo '"NetTest"=dword:00000001'
    fi
  done
  echo
  preferences
} >"$work/defs.reg"
{
  echo "REGEDIT4"
  echo
  preferences
} >"$work/empty.reg"
KIPLAUNCH_USER_HIVE=$work/user.db "$kipctl" reg import "$work/defs.reg" >/dev/null
KIPLAUNCH_USER_HIVE=$work/empty.db "$kipctl" reg import "$work/empty.reg" >/dev/null

source "$(cd "$(dirname "$0")" && pwd)/../tools/x_session.sh"
start_x_session 1280x800

# One run: prints the milliseconds from exec to the window shown.
one_run() {
  local program=$1 hive=$2 start shown="" app
  start=$(date +%s%N)
  KIPLAUNCH_USER_HIVE=$hive "$program" >/dev/null 2>&1 &
  app=$!
  for _ in $(seq 3000); do  # bounded: some 10 s of polling
    if xdotool search --onlyvisible --name '^Kip Launch Manager$' >/dev/null 2>&1; then
      shown=$(date +%s%N)
      break
    fi
  done
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
  [[ -n $shown ]] || { echo "the window never appeared" >&2; return 1; }
  echo $(((shown - start) / 1000000))
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

programs=(kiplaunch)
[[ -n $baseline ]] && programs+=(baseline)
declare -A times
for run in $(seq "$runs"); do
  for name in "${programs[@]}"; do
    program=$kiplaunch
    [[ $name == baseline ]] && program=$baseline
    times[$name-empty]+="$(one_run "$program" "$work/empty.db") "
    times[$name-full]+="$(one_run "$program" "$work/user.db") "
  done
done
for name in "${programs[@]}"; do
  empty=$(printf '%s\n' ${times[$name-empty]} | median)
  full=$(printf '%s\n' ${times[$name-full]} | median)
  echo "$name: exec to list shown, no definition: median $empty ms (runs: ${times[$name-empty]% })"
  echo "$name: exec to list shown, 1000 definitions: median $full ms (runs: ${times[$name-full]% })"
  awk -v f="$full" -v e="$empty" -v n="$name" 'BEGIN { if (e > 0) printf "%s: 1000 definitions / none: %.2f\n", n, f / e }'
done
[[ -n $baseline ]] && echo "baseline: $baseline"
exit 0
