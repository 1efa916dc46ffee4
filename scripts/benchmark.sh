#!/usr/bin/env bash
# Measures Quorvane from outside and prints each figure beside its yardstick,
# both taken in the same run:
#   - start-up to a painted tray icon, and idle memory, against a bare Qt 6
#     tray program built here from benchmarks/bare-tray;
#   - a tray click to the message form on screen;
#   - the send of a message with a 10 MB attachment to a receiving SMTP
#     server that costs next to nothing (benchmarks/smtp-sink), against the
#     curl tool uploading the same bytes to it, with the first send after
#     start against the later ones;
#   - idle wake-ups per minute, against the bare tray program.
# It prints figures and checks nothing: it is not a test.
#
#   scripts/benchmark.sh [--runs N] [--form-runs N] [--send-runs N]
#                        [--first-sends N] [--idle-seconds S] [--virtual] [--keep]
#
# Without a display (or with --virtual) it runs on a virtual X display with a
# tray host of its own. Every program it starts uses a throw-away profile
# under /tmp, never yours; --keep leaves that folder (logs, stored mail) there.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=11          # launches of each program for start-up and memory
form_runs=5      # fresh starts for the click-to-form figure, 3 opens each
send_runs=5      # sends each of Quorvane and curl
first_sends=5    # starts of Quorvane, each with its first send
idle_seconds=60  # length of the idle window
virtual=0
keep=0
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --form-runs) form_runs=$2; shift 2 ;;
    --send-runs) send_runs=$2; shift 2 ;;
    --first-sends) first_sends=$2; shift 2 ;;
    --idle-seconds) idle_seconds=$2; shift 2 ;;
    --virtual) virtual=1; shift ;;
    --keep) keep=1; shift ;;
    -h | --help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "benchmark: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
done

# --- build ------------------------------------------------------------------
scripts/install-deps.sh >/dev/null
build=build/benchmark
echo "benchmark: building Quorvane (Release), the bare tray program, the probe and the SMTP sink in $build"
cmake -S . -B "$build/quorvane" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build/quorvane" -j"$(nproc)" >"$build/quorvane.build.log" 2>&1 ||
  { cat "$build/quorvane.build.log"; exit 1; }
for part in bare-tray probe smtp-sink; do
  cmake -S "benchmarks/$part" -B "$build/$part" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build/$part" >"$build/$part.build.log" 2>&1 || { cat "$build/$part.build.log"; exit 1; }
done
quorvane="$PWD/$build/quorvane/bin/quorvane"
bare="$PWD/$build/bare-tray/bare-tray"
probe="$PWD/$build/probe/probe"
sink="$PWD/$build/smtp-sink/smtp-sink"
python=/usr/bin/python3 # Debian's, with aiosmtpd

# --- a throw-away profile and a display ---------------------------------------
work="$(mktemp -d /tmp/quorvane-bench.XXXXXX)"
export XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME" "$work/logs"
mkdir -m 700 "$XDG_RUNTIME_DIR"

started=() # processes this script started and has not yet ended, by id
forget() {
  local pid remaining=()
  for pid in "${started[@]}"; do [[ " $* " == *" $pid "* ]] || remaining+=("$pid"); done
  started=("${remaining[@]}")
}
end_started() {
  local pid
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${started[@]}"; do wait "$pid" 2>/dev/null || true; done
  started=()
  if declare -F stop_virtual_desktop >/dev/null; then stop_virtual_desktop; fi
}
finish() {
  end_started
  if [ "$keep" = 1 ]; then echo "benchmark: its files are kept in $work"; else rm -rf "$work"; fi
}
trap finish EXIT

if [ "$virtual" = 1 ] || [ -z "${DISPLAY:-}" ]; then
  source scripts/lib/virtual-desktop.sh
  start_virtual_desktop "$work/logs" --trayer || exit 1
  desktop="virtual X display (Xvfb 1280x800, trayer as tray host, no window manager)"
else
  desktop="the display $DISPLAY"
fi

# Settings and recipients as the program stores them: one recipient, the
# server on 127.0.0.1 at the given port, HTML mail (the default).
write_profile() { # write_profile PORT
  "$python" scripts/lib/write-profile.py "$XDG_CONFIG_HOME" --port "$1" --html \
    --sender-name "Front Desk" --sender-address "frontdesk@example.org" \
    --recipient "Robin Example=robin@example.org"
}
write_profile 25

# --- helpers ------------------------------------------------------------------
field() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" "$2" | head -n 1; }

stats() { # median, min and max of the arguments
  "$python" - "$@" <<'EOF'
import statistics, sys
v = [float(x) for x in sys.argv[1:]]
print("%.1f %.1f %.1f" % (statistics.median(v), min(v), max(v)) if v else "- - -")
EOF
}

ratio() { "$python" -c 'import sys; a, b = map(float, sys.argv[1:]); print("%.2f" % (a / b) if b else "-")' "$1" "$2"; }
within() { "$python" -c 'import sys; a, b = map(float, sys.argv[1:]); sys.exit(0 if a <= b else 1)' "$1" "$2"; }

verdict() { if within "$1" "$2"; then echo "met"; else echo "MISSED"; fi; }

# launch CLASS PROGRAM [ARGS]: starts PROGRAM under the probe and waits until its
# tray icon is painted. Sets L_PID, L_WINDOW, L_PAINTED, L_CPU.
launch() {
  local out="$work/launch.out"
  : >"$out"
  local class="$1"
  L_CLASS=$class
  shift
  "$probe" launch --class "$class" --timeout 60 -- "$@" >"$out" 2>>"$work/logs/$class.log" &
  L_PROBE=$!
  started+=("$L_PROBE")
  while kill -0 "$L_PROBE" 2>/dev/null && ! grep -q . "$out"; do sleep 0.02; done
  L_PID=$(field pid "$out")
  [ -n "$L_PID" ] && started+=("$L_PID")
  if [ -z "$(field painted_ms "$out")" ]; then
    echo "benchmark: $class showed no tray icon within 60 s; logs kept in $work/logs" >&2
    trap - EXIT
    end_started
    exit 1
  fi
  L_WINDOW=$(field window "$out")
  L_PAINTED=$(field painted_ms "$out")
  L_CPU=$(field cpu_ms "$out")
}

# Ends the program launch started; the probe, its parent, reaps it.
stop_program() {
  kill "$L_PID" 2>/dev/null || true
  local i
  for i in $(seq 1 100); do kill -0 "$L_PROBE" 2>/dev/null || break; sleep 0.05; done
  kill -9 "$L_PID" 2>/dev/null || true
  wait "$L_PROBE" 2>/dev/null || true
  forget "$L_PID" "$L_PROBE"
  tray_let_go
}

# The X server hands the next program the ids of windows just gone: wait
# until no window of the program that ended is left before the next starts.
tray_let_go() {
  local i
  for i in $(seq 1 100); do
    [ -z "$(xdotool search --classname "$L_CLASS" 2>/dev/null)" ] && return
    sleep 0.05
  done
}

memory_kib() { # memory_kib PID: resident now, resident at its peak, proportional share
  echo "$(awk '/^VmRSS:/ {print $2}' "/proc/$1/status")" \
    "$(awk '/^VmHWM:/ {print $2}' "/proc/$1/status")" \
    "$(awk '/^Pss:/ {print $2}' "/proc/$1/smaps_rollup")"
}

# Processor time of a whole process so far, in ms, threads that have ended
# included (clock ticks, so a 10 ms grain).
process_cpu_ms() {
  awk -v tck="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); printf "%.0f", ($12 + $13) * 1000 / tck }' "/proc/$1/stat"
}

mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

header() {
  echo
  echo "== $1"
  printf '%-38s %-24s %-24s %-7s %s\n' "figure" "Quorvane" "$2" "ratio" "goal"
}

spread() { # "median min max" as "median [min-max]"; a single figure as it is
  local -a v
  read -r -a v <<<"$1"
  if [ ${#v[@]} -eq 1 ]; then echo "${v[0]}"; else echo "${v[0]} [${v[1]}-${v[2]}]"; fi
}

# row NAME "Q-median Q-min Q-max" "R-median R-min R-max" GOAL-RATIO
row() {
  local -a q r
  read -r -a q <<<"$2"
  read -r -a r <<<"$3"
  local x
  x=$(ratio "${q[0]}" "${r[0]}")
  printf '%-38s %-24s %-24s %-7s %s\n' "$1" "$(spread "$2")" "$(spread "$3")" "$x" "<= ${4}x $(verdict "$x" "$4")"
}

echo "benchmark: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) at start, on the $desktop"
echo "benchmark: figures are median [min-max]; times from outside the program (X server events, inotify)"

# --- start-up and memory ----------------------------------------------------------
# One untimed launch of each first, so both start from warm caches; then the
# two programs take turns, so that a busy moment on the machine hits both.
launch bare-tray "$bare"; stop_program
launch quorvane "$quorvane"; stop_program
declare -A painted cpu rss hwm pss
for i in $(seq 1 "$runs"); do
  for who in bare quorvane; do
    if [ "$who" = bare ]; then launch bare-tray "$bare"; else launch quorvane "$quorvane"; fi
    painted[$who]+=" $L_PAINTED"
    cpu[$who]+=" $L_CPU"
    sleep 1.5 # let the start-up's last work finish before reading memory
    read -r r h p < <(memory_kib "$L_PID")
    rss[$who]+=" $(mib "$r")"
    hwm[$who]+=" $(mib "$h")"
    pss[$who]+=" $(mib "$p")"
    stop_program
  done
done
# Instructions are counted, not timed, so this figure is the same on a busy
# machine: each program once under callgrind, ended as soon as its icon is
# painted (all threads, from the first instruction of the dynamic loader).
instructions() { # instructions CLASS PROGRAM: sets COUNTED, in millions
  local out="$work/callgrind.$1.out"
  launch "$1" valgrind --tool=callgrind --callgrind-out-file="$out" "$2"
  stop_program
  COUNTED=$(awk '/^totals:/ { printf "%.1f", $2 / 1e6 }' "$out")
}
instructions quorvane "$quorvane"; q_instr=$COUNTED
instructions bare-tray "$bare"; b_instr=$COUNTED

header "start-up and memory, $runs launches each" "bare Qt tray program"
row "start-up to tray icon painted, ms" "$(stats ${painted[quorvane]})" "$(stats ${painted[bare]})" 1.2
row "  processor time until then, ms" "$(stats ${cpu[quorvane]})" "$(stats ${cpu[bare]})" 1.2
row "  instructions (callgrind), millions" "$q_instr" "$b_instr" 1.2
row "idle resident memory (RSS), MiB" "$(stats ${rss[quorvane]})" "$(stats ${rss[bare]})" 1.15
row "  peak resident memory, MiB" "$(stats ${hwm[quorvane]})" "$(stats ${hwm[bare]})" 1.15
row "  proportional share (PSS), MiB" "$(stats ${pss[quorvane]})" "$(stats ${pss[bare]})" 1.15

# --- idle wake-ups ------------------------------------------------------------------
# Both programs idle side by side over the same window, once their icons are
# in place, the tray host has settled and Quorvane's one-off check for a
# missing tray (3 s after start) is behind it.
launch bare-tray "$bare"; bare_pid=$L_PID; bare_probe=$L_PROBE
launch quorvane "$quorvane"; idle_pid=$L_PID; idle_probe=$L_PROBE
sleep 5
"$python" benchmarks/idle-wakeups.py "$idle_seconds" "$idle_pid=quorvane" "$bare_pid=bare" >"$work/idle.out"
L_PID=$idle_pid L_PROBE=$idle_probe stop_program
L_PID=$bare_pid L_PROBE=$bare_probe stop_program
q_wake=$(field wakeups_per_min <(grep '^quorvane total' "$work/idle.out"))
b_wake=$(field wakeups_per_min <(grep '^bare total' "$work/idle.out"))
q_cpu=$(field cpu_ms_per_min <(grep '^quorvane total' "$work/idle.out"))
b_cpu=$(field cpu_ms_per_min <(grep '^bare total' "$work/idle.out"))
# The 5-second tick is the only work asked for at idle: 12 a minute.
allowed=$("$python" -c "print('%.1f' % ($b_wake + 12))")
header "idle over ${idle_seconds} s (context switches of all threads, /proc)" "bare Qt tray program"
printf '%-38s %-24s %-24s %-7s %s\n' "wake-ups per minute" "$q_wake" "$b_wake" "+$("$python" -c "print('%.1f' % ($q_wake - $b_wake))")" \
  "<= bare + 12 ticks $(verdict "$q_wake" "$allowed")"
printf '%-38s %-24s %-24s\n' "processor time per minute, ms" "$q_cpu" "$b_cpu"
echo "  Quorvane's threads that woke:"
grep '^quorvane thread' "$work/idle.out" | sed 's/^quorvane thread /    /' || echo "    none"
echo "  the bare program's threads that woke:"
grep '^bare thread' "$work/idle.out" | sed 's/^bare thread /    /' || echo "    none"

# Icons of programs that just ended may still be leaving the tray, and the
# host then moves the new one along: give it a moment before clicking.
settle_tray() { sleep 1; }

# --- tray click to the message form -------------------------------------------------
form_window() { xdotool search --onlyvisible --name '^Quorvane$' 2>/dev/null | head -n 1; }
form_window_gone() { [ -z "$(form_window)" ]; }

close_form() { # Escape closes the form as its Close button does
  timeout 10 xdotool windowfocus --sync "$1" key --clearmodifiers Escape || true
  for _ in $(seq 1 100); do form_window_gone && break; sleep 0.05; done
}

# open_form: clicks the tray icon and waits for the form's first paint; sets
# FORM_MS and FORM_WINDOW. A click that opens nothing within 5 s is counted
# in missed_clicks and made again, up to three times.
clicks=0 missed_clicks=0
open_form() {
  local stray
  for _ in 1 2 3; do
    clicks=$((clicks + 1))
    if "$probe" click --window "$L_WINDOW" --await-title Quorvane --timeout 5 >"$work/click.out" 2>>"$work/logs/probe.log" &&
      [ -n "$(field painted_ms "$work/click.out")" ]; then
      FORM_MS=$(field painted_ms "$work/click.out")
      FORM_WINDOW=$(field window "$work/click.out")
      return 0
    fi
    missed_clicks=$((missed_clicks + 1))
    import -window root "$work/logs/unanswered-click-$missed_clicks.png" 2>/dev/null || true
    # A form that opened unseen would take the next click as "to the front".
    stray=$(form_window)
    [ -n "$stray" ] && close_form "$stray"
  done
  return 1
}

first_open=() later_open=() form_note=
for i in $(seq 1 "$form_runs"); do
  launch quorvane "$quorvane"
  settle_tray
  for k in 1 2 3; do
    if ! open_form; then
      form_note="no window titled \"Quorvane\" opened after three clicks on the tray icon"
      break 2
    fi
    if [ "$k" = 1 ]; then first_open+=("$FORM_MS"); else later_open+=("$FORM_MS"); fi
    close_form "$FORM_WINDOW"
    sleep 0.3
  done
  stop_program
done
echo
echo "== tray click to the message form painted, ms"
if [ -n "$form_note" ]; then
  echo "  not measured: $form_note"
else
  read -r m lo hi <<<"$(stats "${first_open[@]}")"
  printf '%-38s %-24s %-24s %-7s %s\n' "first open after start-up" "$m [$lo-$hi]" "" "" "<= 100 ms $(verdict "$m" 100)"
  read -r m lo hi <<<"$(stats "${later_open[@]}")"
  printf '%-38s %-24s %-24s %-7s %s\n' "opened again" "$m [$lo-$hi]" "" "" "<= 100 ms $(verdict "$m" 100)"
fi

# --- the send of a 10 MB attachment --------------------------------------------------
# Quorvane is driven as a person would: open the form from the tray, tick the
# one stored recipient, attach the file through the file dialog, press Send;
# timed from the Send key to the server having the whole message (the sink
# writes message-N.json then, before it answers). curl then uploads the very
# bytes the sink stored from Quorvane, timed from its start to the same file.
# The two take turns. The sink also notes when the first byte of each
# connection came in, which splits each time into getting started (for
# Quorvane's first send, opening its mail library) and the transfer.
echo
echo "== send of a message with a 10 MB attachment to an SMTP sink on 127.0.0.1, ms"
send_note=
[ -n "$form_note" ] && send_note="the message form does not open"

mail="$work/mail"
attachment="$work/attachment.bin"
if [ -z "$send_note" ]; then
  mkdir -p "$mail"
  # Random bytes, so nothing on the way can compress them; seeded, so every
  # run sends the same 10 MiB.
  "$python" -c 'import random, sys; random.seed(2026); sys.stdout.buffer.write(random.randbytes(10 * 1024 * 1024))' >"$attachment"
  # On the disk before the first send, whose own flushed writes (the page,
  # the data files) would otherwise wait behind the write-back of these 10 MB.
  sync "$attachment"
  "$sink" --out "$mail" >"$work/smtp.port" 2>"$work/logs/smtp.log" &
  server_pid=$!
  started+=("$server_pid")
  for i in $(seq 1 100); do [ -s "$work/smtp.port" ] && break; sleep 0.1; done
  port=$(head -n 1 "$work/smtp.port")
  [ -n "$port" ] || send_note="the SMTP sink did not start (see its log)"
fi

# What the sink stored as message N: its recipients and its attachment. The
# message itself is written just after the answer, so wait for it.
stored_as_expected() { # stored_as_expected N
  local i
  for i in $(seq 1 100); do [ -f "$mail/message-$1.eml" ] && break; sleep 0.05; done
  "$python" - "$mail/message-$1.json" "$mail/message-$1.eml" <<'EOF'
import email, email.policy, json, sys
d = json.load(open(sys.argv[1]))
m = email.message_from_binary_file(open(sys.argv[2], "rb"), policy=email.policy.default)
sizes = [len(p.get_payload(decode=True)) for p in m.walk() if p.get_content_disposition() == "attachment"]
sys.exit(0 if d["rcpt_tos"] == ["robin@example.org"] and sizes == [10 * 1024 * 1024] else 1)
EOF
}

# Milliseconds from the probe's start of the clock to the sink's first byte of message N.
first_byte_ms() { # first_byte_ms N PROBE-OUTPUT
  "$python" -c 'import json, sys; print("%.1f" % (json.load(open(sys.argv[1]))["first_byte_at_ms"] - float(sys.argv[2])))' \
    "$mail/message-$1.json" "$(field started_at_ms "$2")"
}

# One message through the running program's form, as message N + 1 at the
# sink: sets SEND_MS, FIRST_BYTE_MS and CPU_MS, or send_note when it fails.
send_through_form() { # send_through_form WHICH
  open_form || { send_note="the form did not open for $1"; return 1; }
  local form=$FORM_WINDOW tabs=() cpu_before
  # The form opens with the keyboard in Name; the first recipient comes 16
  # tab stops later: Company, Phone, Email, the message text, ten phrase
  # boxes and Close (Send is still disabled, so it is no stop).
  for _ in $(seq 1 16); do tabs+=(Tab); done
  xdotool key --delay 15 "${tabs[@]}" space
  xdotool key alt+t
  for _ in $(seq 1 100); do xdotool search --onlyvisible --name '^Open' >/dev/null 2>&1 && break; sleep 0.05; done
  xdotool type --delay 2 "$attachment"
  xdotool key Return
  for _ in $(seq 1 100); do xdotool search --onlyvisible --name '^Open' >/dev/null 2>&1 || break; sleep 0.05; done
  # With no window manager nobody hands the keyboard back to the form
  # when the file dialog goes.
  timeout 10 xdotool windowfocus --sync "$form" || true
  n=$((n + 1))
  cpu_before=$(process_cpu_ms "$L_PID")
  "$probe" keys --keys alt+s --await-file "$mail/message-$n.json" --timeout 120 >"$work/send.out" 2>>"$work/logs/probe.log" ||
    { send_note="Quorvane's $1 never reached the server"; return 1; }
  stored_as_expected "$n" || { send_note="Quorvane's $1 stored something else than expected"; return 1; }
  SEND_MS=$(field stored_ms "$work/send.out")
  FIRST_BYTE_MS=$(first_byte_ms "$n" "$work/send.out")
  sleep 1 # the send's last reply and the notice
  CPU_MS=$(($(process_cpu_ms "$L_PID") - cpu_before))
  close_form "$form"
}

quorvane_send=() curl_send=() quorvane_cpu=() curl_cpu=() quorvane_first=() curl_first=()
first_send=() first_send_byte=()
if [ -z "$send_note" ]; then
  write_profile "$port"
  launch quorvane "$quorvane"
  settle_tray
  n=0
  for i in $(seq 1 "$send_runs"); do
    send_through_form "send $i" || break
    quorvane_send+=("$SEND_MS")
    quorvane_first+=("$FIRST_BYTE_MS")
    quorvane_cpu+=("$CPU_MS")

    n=$((n + 1))
    "$probe" spawn --await-file "$mail/message-$n.json" --timeout 120 -- \
      curl -sS --url "smtp://127.0.0.1:$port" --mail-from frontdesk@example.org --mail-rcpt robin@example.org \
      --upload-file "$mail/message-1.eml" >"$work/send.out" 2>>"$work/logs/curl.log" ||
      { send_note="curl's send $i never reached the server"; break; }
    for _ in $(seq 1 100); do [ -f "$mail/message-$n.eml" ] && break; sleep 0.05; done
    cmp -s "$mail/message-1.eml" "$mail/message-$n.eml" || { send_note="curl's send $i stored other bytes"; break; }
    curl_send+=("$(field stored_ms "$work/send.out")")
    curl_first+=("$(first_byte_ms "$n" "$work/send.out")")
    curl_cpu+=("$(field cpu_ms "$work/send.out")")
  done
  stop_program
  # The first send after a start happens once a start: a few more starts,
  # so that it is a median too.
  first_send=("${quorvane_send[0]:-}") first_send_byte=("${quorvane_first[0]:-}")
  for i in $(seq 2 "$first_sends"); do
    [ -z "$send_note" ] || break
    launch quorvane "$quorvane"
    settle_tray
    send_through_form "first send after start $i" || break
    first_send+=("$SEND_MS")
    first_send_byte+=("$FIRST_BYTE_MS")
    stop_program
  done
fi
if [ -n "$send_note" ]; then
  echo "  not measured: $send_note"
else
  printf '%-38s %-24s %-24s %-7s %s\n' "figure" "Quorvane" "curl tool, same bytes" "ratio" "goal"
  row "Send to message stored, ms" "$(stats "${quorvane_send[@]}")" "$(stats "${curl_send[@]}")" 1.1
  printf '%-38s %-24s %-24s\n' "  to the first byte at the server, ms" "$(spread "$(stats "${quorvane_first[@]}")")" \
    "$(spread "$(stats "${curl_first[@]}")")"
  printf '%-38s %-24s %-24s\n' "  sender's processor time, ms" "$(spread "$(stats "${quorvane_cpu[@]}")")" \
    "$(spread "$(stats "${curl_cpu[@]}")")"
  echo "  message size on the wire: $(stat -c %s "$mail/message-1.eml") bytes, $send_runs sends each"
  if [ "${#quorvane_send[@]}" -gt 1 ]; then
    echo
    printf '%-38s %-24s %-24s %-7s %s\n' "figure" "first send after start" "later sends" "ratio" "goal"
    row "Send to message stored, ms" "$(stats "${first_send[@]}")" "$(stats "${quorvane_send[@]:1}")" 1.1
    printf '%-38s %-24s %-24s\n' "  to the first byte at the server, ms" "$(spread "$(stats "${first_send_byte[@]}")")" \
      "$(spread "$(stats "${quorvane_first[@]:1}")")"
    echo "  ${#first_send[@]} starts with a first send each"
  fi
fi
if [ "$missed_clicks" -gt 0 ]; then
  echo
  echo "benchmark: $missed_clicks of $clicks clicks on the tray icon opened no form within 5 s and were made again" \
    "(screenshots with --keep)"
fi
echo
echo "benchmark: load average $(cut -d' ' -f1-3 /proc/loadavg) at the end; other work on the machine makes the timed figures noisy"
