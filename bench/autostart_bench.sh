#!/usr/bin/env bash
# Times the autostart run of kiplaunch against fbautostart. Both start the same small program COUNT
# times (kiplaunch from COUNT enabled definitions in temporary hives, fbautostart from COUNT XDG
# autostart entries in a temporary XDG_CONFIG_HOME); each started program appends its own start time
# to a marker file. Reported: the time from starting the manager to the last program started, as the
# median of RUNS runs each, and the peak resident memory of one run of each.
#
# Usage: bench/autostart_bench.sh PATH/TO/kiplaunch [PATH/TO/kipctl]
# Environment: RUNS (default 7), COUNT (default 100).
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

for tool in "$kiplaunch" "$kipctl"; do
  [[ -x $tool ]] || { echo "not an executable: $tool" >&2; exit 2; }
done
command -v fbautostart >/dev/null || { echo "fbautostart is not installed (Debian package fbautostart)" >&2; exit 2; }
have_time=0
[[ -x /usr/bin/time ]] && have_time=1

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
# starts them all while it loads.
export KIPLAUNCH_USER_HIVE="$work/user.db"
export KIPLAUNCH_MACHINE_HIVE="$work/machine.db"
list='HKCU\Software\Marl Fen\Kip Launch Manager\Start List'
for i in $(seq -w 1 "$count"); do
  "$kipctl" reg add "$list\\Program $i" /v Module /t REG_SZ /d "$tick" /f >/dev/null
  "$kipctl" reg add "$list\\Program $i" /v Parms /t REG_SZ /d "$kip_marker" /f >/dev/null
done

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

# Runs one manager with the environment each needs; "$@" is the command line after the wrapper.
run_kiplaunch() {
  local runtime
  runtime=$(mktemp -d "$work/runtime.XXXXXX")
  chmod 700 "$runtime"
  env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen KIPLAUNCH_RUNTIME_DIR="$runtime" \
    XDG_CONFIG_HOME="$work/kip-config" timeout "$limit" "$@" "$kiplaunch" /r >/dev/null 2>&1
}

run_fbautostart() {
  env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$work/xdg" XDG_CONFIG_DIRS="$work/xdg-dirs" \
    timeout "$limit" "$@" fbautostart >/dev/null 2>&1
}

# One timed run: prints the milliseconds to the last program started.
timed_run() {
  local runner=$1 marker=$2 t0
  rm -f "$marker"
  t0=$EPOCHREALTIME
  "$runner" || { echo "$runner failed" >&2; return 1; }
  wait_for_marker "$marker"
  elapsed_ms "$marker" "$t0"
}

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Peak resident memory in kilobytes of one run of a manager.
peak_rss_kb() {
  local runner=$1 marker=$2 out="$work/time.out"
  rm -f "$marker"
  "$runner" /usr/bin/time -f %M -o "$out"
  wait_for_marker "$marker"
  tail -n 1 "$out"
}

kip_times=()
fb_times=()
for ((run = 1; run <= runs; ++run)); do
  # Alternating the order spreads the machine's own noise over both.
  if ((run % 2)); then
    kip_times+=("$(timed_run run_kiplaunch "$kip_marker")")
    fb_times+=("$(timed_run run_fbautostart "$fb_marker")")
  else
    fb_times+=("$(timed_run run_fbautostart "$fb_marker")")
    kip_times+=("$(timed_run run_kiplaunch "$kip_marker")")
  fi
done

kip_median=$(printf '%s\n' "${kip_times[@]}" | median)
fb_median=$(printf '%s\n' "${fb_times[@]}" | median)

echo "programs started per run: $count ($tick_kind), runs: $runs"
printf '%-12s %10s   %s\n' manager "median ms" "all runs (ms)"
printf '%-12s %10s   %s\n' kiplaunch "$kip_median" "${kip_times[*]}"
printf '%-12s %10s   %s\n' fbautostart "$fb_median" "${fb_times[*]}"
awk -v k="$kip_median" -v f="$fb_median" 'BEGIN { if (f > 0) printf "kiplaunch / fbautostart: %.2f\n", k / f }'
if ((have_time)); then
  echo "peak resident memory, kiplaunch:   $(peak_rss_kb run_kiplaunch "$kip_marker") kB"
  echo "peak resident memory, fbautostart: $(peak_rss_kb run_fbautostart "$fb_marker") kB"
else
  echo "peak resident memory: /usr/bin/time is not installed (Debian package time)"
fi
