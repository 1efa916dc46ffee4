#!/usr/bin/python3
"""Counts how often idle processes wake up.

  idle-wakeups.py SECONDS PID[=LABEL]...

Reads each thread's voluntary and nonvoluntary context switches and its
processor time (the scheduler's nanoseconds in /proc/PID/task/TID/schedstat)
at the start and the end of a window of SECONDS, and prints, per process, one
line of totals and one line per thread that woke at all:

  LABEL total wakeups_per_min=W cpu_ms_per_min=C threads=N
  LABEL thread NAME wakeups_per_min=W cpu_ms_per_min=C

A voluntary switch is the thread going to sleep, so each one is followed by
exactly one wake-up; a nonvoluntary switch is the thread being pre-empted
while it works. A thread that ends inside the window takes its counts along;
a thread that starts inside it is counted from zero.
"""

import os
import sys
import time


def sample(pid):
    threads = {}
    folder = "/proc/%d/task" % pid
    try:
        tids = os.listdir(folder)
    except OSError:
        return threads
    for tid in tids:
        try:
            with open("%s/%s/status" % (folder, tid)) as f:
                fields = dict(line.split(":", 1) for line in f if ":" in line)
            with open("%s/%s/schedstat" % (folder, tid)) as f:
                cpu_ns = int(f.read().split()[0])
        except OSError:
            continue  # the thread ended while we looked
        switches = int(fields["voluntary_ctxt_switches"]) + int(fields["nonvoluntary_ctxt_switches"])
        threads[tid] = (fields["Name"].strip(), switches, cpu_ns)
    return threads


def main():
    seconds = float(sys.argv[1])
    targets = []
    for word in sys.argv[2:]:
        pid, _, label = word.partition("=")
        targets.append((int(pid), label or pid))
    before = {pid: sample(pid) for pid, _ in targets}
    start = time.monotonic()
    time.sleep(seconds)
    after = {pid: sample(pid) for pid, _ in targets}
    per_min = 60.0 / (time.monotonic() - start)
    for pid, label in targets:
        rows = []
        for tid, (name, switches, cpu_ns) in after[pid].items():
            _, switches0, cpu0 = before[pid].get(tid, (name, 0, 0))
            rows.append((name, switches - switches0, cpu_ns - cpu0))
        total = sum(r[1] for r in rows)
        cpu = sum(r[2] for r in rows)
        print("%s total wakeups_per_min=%.1f cpu_ms_per_min=%.2f threads=%d"
              % (label, total * per_min, cpu / 1e6 * per_min, len(rows)))
        for name, switches, cpu_ns in sorted(rows, key=lambda r: -r[1]):
            if switches:
                print("%s thread %s wakeups_per_min=%.1f cpu_ms_per_min=%.2f"
                      % (label, name.replace(" ", "_"), switches * per_min, cpu_ns / 1e6 * per_min))
    return 0


if __name__ == "__main__":
    sys.exit(main())
