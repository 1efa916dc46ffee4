# Shared by the end-to-end checks: the real program in a real X server with a
# tray host. Each check sources this, then calls e2e_begin.

set -uo pipefail
E2E_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$E2E_DIR/../../scripts/lib/virtual-desktop.sh"
source "$E2E_DIR/../../scripts/lib/program-windows.sh"

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


start_quorvane() {
  "$QUORVANE" >"$E2E_WORK/logs/quorvane.$$.$RANDOM.log" 2>&1 &
  QV_PID=$!
}




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



# Reads a field of a received message's JSON record: json_field FILE EXPR
json_field() {
  /usr/bin/python3 -c 'import json,sys; m=json.load(open(sys.argv[1])); print(eval(sys.argv[2], {}, {"m": m}))' "$1" "$2"
}
