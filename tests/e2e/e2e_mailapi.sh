#!/usr/bin/env bash
# Sending through a mail service's API instead of SMTP, as an office deploys
# it: the administrator's file names the service (SendThrough=graph, then
# gmail), the user signs in from Setup, and every message goes over HTTPS to
# the service. Against the project's own authorization server and a test
# service that behaves as Microsoft Graph and the Gmail API document, with a
# real GNOME Keyring on a private session bus and a stand-in browser.
if [ -z "${QUORVANE_MAILAPI_SESSION:-}" ]; then
  exec env QUORVANE_MAILAPI_SESSION=1 dbus-run-session -- bash "$0" "$@"
fi
source "$(dirname "$0")/lib.sh"
e2e_begin "$1"

export HOME="$E2E_WORK/home" XDG_DATA_HOME="$E2E_WORK/home/.local/share" XDG_RUNTIME_DIR="$E2E_WORK/home/run"
mkdir -p "$XDG_DATA_HOME" && mkdir -m 0700 "$XDG_RUNTIME_DIR"
printf %s throw-away | gnome-keyring-daemon --unlock --components=secrets >"$E2E_WORK/logs/keyring.log" 2>&1
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$E2E_WORK/logs/at-spi.log" 2>&1 &
ATSPI_PID=$!
OAUTH_PID= API_PID=
trap 'kill $ATSPI_PID $OAUTH_PID $API_PID 2>/dev/null; e2e_end' EXIT
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

account=desk@example.org
fixtures="$E2E_DIR/../fixtures"
# Access tokens live 75 s: a send more than 15 s after the sign-in finds
# less than a minute left on the one held, and refreshes it first.
coproc OAUTH { exec /usr/bin/python3 "$fixtures/oauth_server.py" --out "$E2E_WORK/oauth" --lifetime 75 --username "$account"; }
read -r -t 20 OAUTH_PORT <&"${OAUTH[0]}"
OAUTH_PID=$OAUTH_PID
provider="http://127.0.0.1:$OAUTH_PORT"
api="$E2E_WORK/api"
coproc API { exec /usr/bin/python3 "$fixtures/mail_api_server.py" --out "$api" --introspect "$provider/introspect" --mailbox "$account"; }
read -r -t 20 API_PORT <&"${API[0]}"
API_PID=$API_PID
check "the authorization server and the mail service start" test -n "$OAUTH_PORT" -a -n "$API_PORT"

# No SMTP server anywhere: the port in Setup leads nowhere.
/usr/bin/python3 "$E2E_DIR/../../scripts/lib/write-profile.py" "$XDG_CONFIG_HOME" --port 1 \
  --sender-name "Reception Desk" --sender-address "$account" --recipient "Alice Able=alice@example.org"
deploy() { # deploy SERVICE BASE: the administrator's file for every desk
  cat >"$XDG_CONFIG_HOME/Lumarc/quorvane-signin.conf" <<EOF
[SignIn]
Provider=custom
ClientId=quorvane-test-client
AuthorizeUrl=$provider/authorize
TokenUrl=$provider/token
Scope=mail offline_access
SendThrough=$1
ApiUrl=$2
EOF
}
mkdir -p "$E2E_WORK/bin"
cat >"$E2E_WORK/bin/xdg-open" <<EOF
#!/bin/sh
echo "\$1" >>"$E2E_WORK/logs/browser.log"
exec curl -s -L --max-time 20 -o "$E2E_WORK/browser-page.html" "\$1"
EOF
chmod +x "$E2E_WORK/bin/xdg-open"
export PATH="$E2E_WORK/bin:$PATH"
mkdir -p "$E2E_WORK/small" "$E2E_WORK/large"
head -c 1048576 /dev/urandom >"$E2E_WORK/small/one-mb.bin"
head -c 10485760 /dev/urandom >"$E2E_WORK/large/ten-mb.bin"

choices="$XDG_CONFIG_HOME/Lumarc/quorvane/signin.conf"
refreshes() { grep -c '"grant_type": "refresh_token", "ok": true' "$E2E_WORK/oauth/events.jsonl" 2>/dev/null; }
window_says() { # window_says TITLE LINE
  local texts
  texts=$(/usr/bin/python3 "$E2E_DIR/window_texts.py" "$QV_PID" "$1")
  printf '%s\n' "== $1" "$texts" >>"$E2E_WORK/logs/window-texts.log"
  grep -qxF -- "$2" <<<"$texts"
}
open_form() {
  xdotool mousemove --window "$(tray_icon_window)" 11 11 click 1
  wait_for 20 has_window_named Quorvane && sleep 0.5
}
form_window() { xdotool search --onlyvisible --name '^Quorvane$' | head -n 1; }
take_message() { # take_message NAME [FILE]: typed from Name, to the first recipient, maybe a file, sent
  xdotool type --delay 20 "$1"
  for i in $(seq 1 16); do xdotool key Tab; done
  xdotool key space
  if [ -n "${2:-}" ]; then
    local form
    form=$(form_window)
    xdotool key alt+t
    wait_for 10 has_window_named Open
    sleep 0.3
    # The file dialog may come up holding the last file chosen.
    xdotool key ctrl+a
    xdotool type --delay 5 "$2"
    sleep 0.5
    xdotool key Return
    wait_for 10 no_window_named Open
    timeout 10 xdotool windowfocus --sync "$form" || true
  fi
  sleep 0.3
  xdotool key alt+s
}
setup_html() { # setup_html: ticks Send message as HTML in Setup
  xdotool key alt+u
  wait_for 10 has_window_named Setup && sleep 0.3
  xdotool key alt+h
  xdotool key alt+o
  wait_for 10 no_window_named Setup && sleep 0.3
}
sign_in() { # sign_in SERVICE: Setup, the account as Username, Sign in..., Sign in, Close, OK
  xdotool key alt+u
  wait_for 10 has_window_named Setup && sleep 0.3
  if [ -z "${SIGNED_IN_BEFORE:-}" ]; then
    xdotool key alt+c
    sleep 0.3
    xdotool type --delay 20 "$account"
  fi
  xdotool key alt+i
  wait_for 15 has_window_named "Sign In" && sleep 0.5
  xdotool key alt+s
  wait_for 30 signed_in_through "$1" && sleep 0.5
  local ok=$?
  xdotool key alt+l
  wait_for 10 no_window_named "Sign In" && sleep 0.3
  xdotool key alt+o
  wait_for 10 no_window_named Setup && sleep 0.5
  SIGNED_IN_BEFORE=1
  return $ok
}
signed_in_through() { grep -qx "Active=true" "$choices" 2>/dev/null && grep -qx "SendThrough=$1" "$choices"; }
message_field() { json_field "$api/message-$1.json" "$2"; }
attachment_sha() { # the attachment's sha256 as the service stored it
  /usr/bin/python3 -c 'import json, sys
m = json.load(open(sys.argv[1]))
parts = [p for p in m.get("parts", []) if p.get("disposition") == "attachment"]
atts = m.get("attachments", [])
print(parts[0]["sha256"] if parts else atts[0]["sha256"] if atts else "")' "$api/message-$1.json"
}
sha() { sha256sum "$1" | cut -d" " -f1; }

n=0
deploy graph "http://127.0.0.1:$API_PORT/v1.0"
start_quorvane
check "the tray icon appears" wait_for 20 has_tray_icon
check "the form opens" open_form

for service in graph gmail; do
  if [ "$service" = gmail ]; then
    deploy gmail "http://127.0.0.1:$API_PORT"
  fi
  check "$service: signing in from Setup, to send through the service" sign_in "$service"
  signed_in_at=$(date +%s)

  take_message "Jane Text"
  n=$((n + 1))
  check "$service: a text message goes to the service" wait_for 30 test -f "$api/message-$n.json"
  check "$service: as typed" bash -c "grep -q 'Jane Text' '$api/message-$n.eml'"
  check "$service: taken by the service itself" test "$(message_field $n 'm["service"]')" = "$service"

  if [ "$service" = graph ]; then setup_html; fi
  take_message "Kim Page" "$E2E_WORK/small/one-mb.bin"
  n=$((n + 1))
  check "$service: an HTML message with 1 MB goes" wait_for 30 test -f "$api/message-$n.json"
  check "$service: its page as typed" bash -c "grep -q 'Kim' '$api/message-$n.eml'"
  check "$service: the 1 MB file byte for byte" test "$(attachment_sha $n)" = "$(sha "$E2E_WORK/small/one-mb.bin")"
  # The form keeps the file for the next message until it is detached.
  xdotool key alt+d

  # Less than a minute left on the token the sign-in brought: refreshed first.
  sleep $(( signed_in_at + 17 - $(date +%s) > 0 ? signed_in_at + 17 - $(date +%s) : 0 ))
  before=$(refreshes)
  take_message "Lee Large" "$E2E_WORK/large/ten-mb.bin"
  n=$((n + 1))
  check "$service: a message with 10 MB goes" wait_for 60 test -f "$api/message-$n.json"
  check "$service: the 10 MB file byte for byte" test "$(attachment_sha $n)" = "$(sha "$E2E_WORK/large/ten-mb.bin")"
  check "$service: after one refresh of the token" test "$(refreshes)" = "$((before + 1))"
  xdotool key alt+d
done
check "graph: the 10 MB message went as a draft with an upload session" grep -q '"event": "uploadSession"' "$api/events.jsonl"
check "gmail: the 10 MB message went as a resumable upload" grep -q '"event": "resumable"' "$api/events.jsonl"

# Revoked at the provider: the service refuses the held token, the refresh
# is refused, the reason shows and the message is kept.
curl -s -d all=1 "$provider/revoke" >/dev/null
take_message "Max Revoked"
check "a revoked sign-in ends in the send error" wait_for 30 has_window_named "Quorvane Send Error"
screenshot mailapi-revoked
error_says_sign_in_again() {
  /usr/bin/python3 "$E2E_DIR/window_texts.py" "$QV_PID" "Quorvane Send Error" >"$E2E_WORK/logs/error-texts.log"
  grep -qi "sign in again" "$E2E_WORK/logs/error-texts.log"
}
check "which says to sign in again" error_says_sign_in_again
xdotool key Return
check "OK ends it" wait_for 10 no_window_named "Quorvane Send Error"
check "the message is back on the form" window_says Quorvane "Name:=Max Revoked"
check "and nothing more reached the service" test ! -e "$api/message-$((n + 1)).json"
