# Shared by the end-to-end checks: the real program in a real X server with a
# tray host. Each check sources this, then calls e2e_begin.

set -uo pipefail
E2E_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$E2E_DIR/../../scripts/lib/virtual-desktop.sh"

E2E_FAILURES=0
E2E_PASSES=0

e2e_begin() {
  QUORVANE="$1"
  E2E_WORK="$(mktemp -d /tmp/quorvane-e2e.XXXXXX)"
  export XDG_CONFIG_HOME="$E2E_WORK/config"
  mkdir -p "$XDG_CONFIG_HOME"
  trap e2e_end EXIT
  start_virtual_desktop "$E2E_WORK/logs" "${2:-}" || { echo "FAIL: no virtual desktop"; exit 1; }
}

e2e_end() {
  [ -n "${QV_PID:-}" ] && kill "$QV_PID" 2>/dev/null
  stop_virtual_desktop
  echo "$E2E_PASSES passed, $E2E_FAILURES failed"
  if [ "$E2E_FAILURES" -ne 0 ]; then
    echo "logs kept in $E2E_WORK"
    exit 1
  fi
  rm -rf "$E2E_WORK"
}

check() { # check "what" command...
  local what="$1"; shift
  if "$@"; then
    E2E_PASSES=$((E2E_PASSES + 1)); echo "ok: $what"
  else
    E2E_FAILURES=$((E2E_FAILURES + 1)); echo "FAIL: $what"
  fi
}

# Waits up to $1 seconds for a command to succeed.
wait_for() {
  local seconds="$1"; shift
  local i
  for i in $(seq 1 $((seconds * 10))); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

start_quorvane() {
  "$QUORVANE" >"$E2E_WORK/logs/quorvane.$$.$RANDOM.log" 2>&1 &
  QV_PID=$!
}

# The embedded tray icon: the program's 22x22 window.
tray_icon_window() {
  local w
  for w in $(xdotool search --classname quorvane 2>/dev/null); do
    if xdotool getwindowgeometry "$w" 2>/dev/null | grep -q "Geometry: 22x22"; then
      echo "$w"; return 0
    fi
  done
  return 1
}

has_tray_icon() { tray_icon_window >/dev/null; }

window_named() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }
has_window_named() { [ -n "$(window_named "$1")" ]; }
no_window_named() { ! has_window_named "$1"; }

process_alive() { kill -0 "$1" 2>/dev/null; }
process_gone() { ! kill -0 "$1" 2>/dev/null; }

screenshot() { # screenshot NAME
  mkdir -p "${QUORVANE_ARTEFACTS:-$E2E_WORK/artefacts}"
  import -window root "${QUORVANE_ARTEFACTS:-$E2E_WORK/artefacts}/$1.png" 2>/dev/null
}

# The test SMTP server, on a fixed port so that a restarted one is found again.
start_smtp_server() { # start_smtp_server OUTDIR [PORT]
  mkdir -p "$1"
  coproc SMTPD { exec /usr/bin/python3 "$E2E_DIR/../fixtures/smtp_server.py" --out "$1" --port "${2:-0}"; }
  read -r -t 20 SMTP_PORT <&"${SMTPD[0]}"
  SMTP_PID=$SMTPD_PID
  [ -n "$SMTP_PORT" ]
}

stop_smtp_server() {
  [ -n "${SMTP_PID:-}" ] && kill "$SMTP_PID" 2>/dev/null && wait "$SMTP_PID" 2>/dev/null
  SMTP_PID=
  return 0
}

# A visible window of exactly this size, e.g. the 120x25 notice.
has_visible_window_of_size() {
  local w
  for w in $(xdotool search --onlyvisible --classname quorvane 2>/dev/null); do
    xdotool getwindowgeometry "$w" 2>/dev/null | grep -q "Geometry: $1" && return 0
  done
  return 1
}

no_visible_window_of_size() { ! has_visible_window_of_size "$1"; }

# Reads a field of a received message's JSON record: json_field FILE EXPR
json_field() {
  /usr/bin/python3 -c 'import json,sys; m=json.load(open(sys.argv[1])); print(eval(sys.argv[2], {}, {"m": m}))' "$1" "$2"
}
