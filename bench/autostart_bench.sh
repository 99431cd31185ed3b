#!/usr/bin/env bash
# Times the autostart run of kiplaunch against fbautostart. Both start the same small program COUNT
# times (kiplaunch from COUNT enabled definitions in temporary hives, fbautostart from COUNT XDG
# autostart entries in a temporary XDG_CONFIG_HOME); each started program appends its own start time
# to a marker file. Reported, as the median of RUNS runs each: the time from starting the manager to the
# last program started, the time until the manager has ended, and its peak resident memory.
#
# Usage: bench/autostart_bench.sh PATH/TO/kiplaunch [PATH/TO/kipctl]
# Environment: RUNS (default 7), COUNT (default 100), BASELINE (another kiplaunch, an older build say,
# measured in the same runs; its window module lies beside it).
set -euo pipefail

if [[ $# -lt 1 ]]; then
  echo "usage: $0 PATH/TO/kiplaunch [PATH/TO/kipctl]" >&2
  exit 2
fi
kiplaunch=$(realpath "$1")
kipctl=$(realpath "${2:-$(dirname "$kiplaunch")/kipctl}")
runs=${RUNS:-7}
count=${COUNT:-100}
limit=120  # seconds any one run may take

baseline=${BASELINE:+$(realpath "$BASELINE")}
for tool in "$kiplaunch" "$kipctl" ${baseline:+"$baseline"}; do
  [[ -x $tool ]] || { echo "not an executable: $tool" >&2; exit 2; }
done
command -v fbautostart >/dev/null || { echo "fbautostart is not installed (Debian package fbautostart)" >&2; exit 2; }
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time is not installed (Debian package time)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/kip-autostart-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The started program appends its start time to the file named by its argument. A small static C
# program when a compiler is at hand, so that the programs' own start-up weighs little beside the
# managers'; else a script run directly by its interpreter line (no shell of the managers').
tick="$work/tick"
cat >"$work/tick.c" <<'SOURCE'
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>
int main(int argc, char** argv) {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  char line[64];
  int length = snprintf(line, sizeof line, "%lld.%06ld\n", (long long)now.tv_sec, now.tv_nsec / 1000);
  int fd = argc > 1 ? open(argv[1], O_WRONLY | O_APPEND | O_CREAT, 0644) : -1;
  return fd >= 0 && write(fd, line, (size_t)length) == length ? 0 : 1;
}
SOURCE
if cc -O2 -static -o "$tick" "$work/tick.c" 2>/dev/null || cc -O2 -o "$tick" "$work/tick.c" 2>/dev/null; then
  tick_kind="static C program"
else
  tick_kind="bash script"
  cat >"$tick" <<'SCRIPT'
#!/bin/bash
printf '%s\n' "$EPOCHREALTIME" >>"$1"
SCRIPT
  chmod 755 "$tick"
fi

kip_marker="$work/kiplaunch.marker"
fb_marker="$work/fbautostart.marker"

# kiplaunch: COUNT definitions in a per-user hive of its own, Sequence 0 and no delay, so that the run
# starts them all while it loads; no splash screen, as after the first run.
export KIPLAUNCH_USER_HIVE="$work/user.db"
export KIPLAUNCH_MACHINE_HIVE="$work/machine.db"
list='HKCU\Software\Marl Fen\Kip Launch Manager\Start List'
for i in $(seq -w 1 "$count"); do
  "$kipctl" reg add "$list\\Program $i" /v Module /t REG_SZ /d "$tick" /f >/dev/null
  "$kipctl" reg add "$list\\Program $i" /v Parms /t REG_SZ /d "$kip_marker" /f >/dev/null
done
"$kipctl" reg add 'HKCU\Software\Marl Fen\Kip Launch Manager\Preferences' /v Splash /t REG_DWORD /d 0 /f >/dev/null

# fbautostart: COUNT autostart entries, and no system-wide folder that could add others.
mkdir -p "$work/xdg/autostart" "$work/xdg-dirs"
for i in $(seq -w 1 "$count"); do
  cat >"$work/xdg/autostart/program-$i.desktop" <<ENTRY
[Desktop Entry]
Type=Application
Name=Program $i
Exec=$tick $fb_marker
ENTRY
done

# Waits until the marker holds COUNT lines, for at most the limit.
wait_for_marker() {
  local marker=$1 deadline=$((SECONDS + limit))
  while [[ ! -f $marker ]] || (($(wc -l <"$marker") < count)); do
    if ((SECONDS >= deadline)); then
      echo "only $(wc -l <"$marker" 2>/dev/null || echo 0) of $count programs started" >&2
      return 1
    fi
    sleep 0.05
  done
}

# Milliseconds from t0 to the latest start time in the marker.
elapsed_ms() {
  local marker=$1 t0=$2
  sort -n "$marker" | tail -n 1 | awk -v t0="$t0" '{ printf "%.1f\n", ($1 - t0) * 1000 }'
}

# Runs one manager with the environment each needs, under /usr/bin/time, which writes the seconds it ran
# and its peak resident memory in kilobytes to $work/time.out.
run_kiplaunch() {
  local program=$1 runtime
  runtime=$(mktemp -d "$work/runtime.XXXXXX")
  chmod 700 "$runtime"
  env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen KIPLAUNCH_RUNTIME_DIR="$runtime" \
    XDG_CONFIG_HOME="$work/kip-config" timeout "$limit" /usr/bin/time -f "%e %M" -o "$work/time.out" \
    "$program" /r >/dev/null 2>&1
}

run_fbautostart() {
  env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$work/xdg" XDG_CONFIG_DIRS="$work/xdg-dirs" \
    timeout "$limit" /usr/bin/time -f "%e %M" -o "$work/time.out" fbautostart >/dev/null 2>&1
}

# One run: appends "milliseconds to the last program started, milliseconds to the manager's end, peak
# kilobytes" to the named result file.
timed_run() {
  local results=$1 marker=$2 t0 t1 started
  shift 2
  rm -f "$marker"
  t0=$EPOCHREALTIME
  "$@" || { echo "$* failed" >&2; return 1; }
  t1=$EPOCHREALTIME
  wait_for_marker "$marker"
  started=$(elapsed_ms "$marker" "$t0")
  echo "$started $(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", (b - a) * 1000 }') $(awk '{ print $2 }' "$work/time.out" | tail -n 1)" >>"$results"
}

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
column_median() { awk -v c="$2" '{ print $c }' "$1" | median; }

managers=(kiplaunch)
[[ -n $baseline ]] && managers+=(baseline)
managers+=(fbautostart)
for ((run = 1; run <= runs; ++run)); do
  # Rotating the order spreads the machine's own noise over all.
  for ((k = 0; k < ${#managers[@]}; ++k)); do
    name=${managers[(k + run) % ${#managers[@]}]}
    case $name in
      kiplaunch) timed_run "$work/kiplaunch.results" "$kip_marker" run_kiplaunch "$kiplaunch" ;;
      baseline) timed_run "$work/baseline.results" "$kip_marker" run_kiplaunch "$baseline" ;;
      fbautostart) timed_run "$work/fbautostart.results" "$fb_marker" run_fbautostart ;;
    esac
  done
done

echo "programs started per run: $count ($tick_kind), runs: $runs (medians)"
printf '%-12s %16s %14s %14s\n' manager "last start (ms)" "ended (ms)" "peak (kB)"
for name in "${managers[@]}"; do
  results="$work/$name.results"
  printf '%-12s %16s %14s %14s\n' "$name" "$(column_median "$results" 1)" "$(column_median "$results" 2)" \
    "$(column_median "$results" 3)"
done
[[ -n $baseline ]] && echo "baseline: $baseline"
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b }'; }
k_end=$(column_median "$work/kiplaunch.results" 2)
f_start=$(column_median "$work/fbautostart.results" 1)
echo "kiplaunch / fbautostart, last start: $(ratio "$(column_median "$work/kiplaunch.results" 1)" "$f_start")"
if [[ -n $baseline ]]; then
  echo "kiplaunch / baseline, ended: $(ratio "$k_end" "$(column_median "$work/baseline.results" 2)")," \
    "peak memory: $(ratio "$(column_median "$work/kiplaunch.results" 3)" "$(column_median "$work/baseline.results" 3)")"
fi
