#!/usr/bin/env bash
# Starts Quorvane many times on a busy machine, with its tray host (trayer)
# started at a random moment in the first five seconds of each start, as at
# a log-in, and counts the starts whose icon appeared. Each start is watched
# twice: by the X server's own account (the program's 22x22 window, embedded
# and viewable) and by the benchmark's probe, so that a miss says whether the
# program or the probe lost the icon.
#
#   scripts/startup-race.sh PROGRAM PROBE [RUNS=200] [BUSY_LOOPS=4]
#
# PROBE is the benchmark's probe (benchmarks/probe, built with CMake). It
# runs on a virtual display of its own and ends every process it started.
set -uo pipefail
program="$(readlink -f "${1:?usage: startup-race.sh PROGRAM PROBE [RUNS] [BUSY_LOOPS]}")"
probe="$(readlink -f "${2:?usage: startup-race.sh PROGRAM PROBE [RUNS] [BUSY_LOOPS]}")"
runs="${3:-200}"
loops="${4:-4}"
cd "$(dirname "$0")/.."
source scripts/lib/virtual-desktop.sh
source scripts/lib/program-windows.sh

work="$(mktemp -d /tmp/quorvane-race.XXXXXX)"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$work/logs"
mkdir -m 700 "$XDG_RUNTIME_DIR"
busy=()
probe_pid=
finish() {
  local pid
  [ -n "$probe_pid" ] && kill "$probe_pid" 2>/dev/null
  for pid in "${busy[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${busy[@]}"; do wait "$pid" 2>/dev/null; done
  stop_virtual_desktop
}
trap finish EXIT

start_virtual_desktop "$work/logs" --no-tray || exit 1
/usr/bin/python3 scripts/lib/write-profile.py "$XDG_CONFIG_HOME" --port 25 --recipient "Robin=robin@example.org"

for i in $(seq 1 "$loops"); do
  bash -c 'while :; do :; done' &
  busy+=($!)
done

icon_embedded() { # the program's icon window, viewable inside the tray host
  local w
  w=$(tray_icon_window) || return 1
  xwininfo -id "$w" 2>/dev/null | grep -q "Map State: IsViewable" &&
    ! xwininfo -id "$w" -children 2>/dev/null | grep -q "Parent window id: .*(the root window)"
}

shown=0
probe_saw=0
misses=()
for run in $(seq 1 "$runs"); do
  out="$work/probe.$run.out"
  "$probe" launch --class quorvane --timeout 25 -- "$program" >"$out" 2>>"$work/logs/probe.log" &
  probe_pid=$!
  sleep "$(awk -v r="$RANDOM" 'BEGIN { printf "%.2f", r % 5000 / 1000 }')"
  start_trayer "$work/logs" >/dev/null 2>&1
  if wait_for 20 icon_embedded; then
    shown=$((shown + 1))
  else
    misses+=("run $run: no icon")
  fi
  # The probe prints its line once it saw the paint (or gave up).
  for i in $(seq 1 100); do grep -q . "$out" && break; sleep 0.05; done
  if grep -q "painted_ms=" "$out"; then
    probe_saw=$((probe_saw + 1))
  else
    misses+=("run $run: the probe saw no icon")
  fi
  # The program is the probe's child; the probe reaps it.
  pid=$(pgrep -P "$probe_pid" | head -n 1)
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  wait "$probe_pid" 2>/dev/null
  probe_pid=
  stop_tray_host
  wait_for 10 bash -c '! xdotool search --classname quorvane >/dev/null 2>&1'
done

for m in "${misses[@]}"; do echo "startup-race: $m"; done
echo "icon shown: $shown of $runs starts; the probe saw it: $probe_saw of $runs (busy loops: $loops, load $(cut -d' ' -f1 /proc/loadavg))"
[ "$shown" = "$runs" ] && [ "$probe_saw" = "$runs" ]
