#!/usr/bin/env bash
# Signing in with a mail provider, as a person does it: from Setup, through
# the browser, then sending; the access token running out and being
# refreshed; a restart that needs no new sign-in; a revoked sign-in; and no
# keyring to ask. Against a real authorization server and an aiosmtpd taking
# XOAUTH2, with a real GNOME Keyring on a private session bus, and a stand-in
# browser (an xdg-open first on PATH that follows the provider's redirect).
if [ -z "${QUORVANE_SIGNIN_SESSION:-}" ]; then
  # A bus, a keyring and a HOME of its own: the user's keyring is never touched.
  exec env QUORVANE_SIGNIN_SESSION=1 dbus-run-session -- bash "$0" "$@"
fi
source "$(dirname "$0")/lib.sh"
e2e_begin "$1"

export HOME="$E2E_WORK/home" XDG_DATA_HOME="$E2E_WORK/home/.local/share" XDG_RUNTIME_DIR="$E2E_WORK/home/run"
mkdir -p "$XDG_DATA_HOME" && mkdir -m 0700 "$XDG_RUNTIME_DIR"
# In the foreground, so that $! is the daemon itself: only it is ever stopped.
gnome-keyring-daemon --foreground --unlock --components=secrets < <(printf %s throw-away) \
  >"$E2E_WORK/logs/keyring.log" 2>&1 &
KEYRING_PID=$!
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$E2E_WORK/logs/at-spi.log" 2>&1 &
ATSPI_PID=$!
OAUTH_PID= XOAUTH_PID=
SQUATTER_PID=
trap 'kill $ATSPI_PID $OAUTH_PID $XOAUTH_PID $SQUATTER_PID $KEYRING_PID 2>/dev/null; e2e_end' EXIT
secrets_on_bus() {
  gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus -m org.freedesktop.DBus.NameHasOwner \
    org.freedesktop.secrets 2>/dev/null | grep -q true
}
check "the keyring serves the private bus" wait_for 10 secrets_on_bus
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

account=desk@example.org
fixtures="$E2E_DIR/../fixtures"
# Access tokens live 80 s: the first send after signing in uses the one the
# sign-in brought (it has some 20 s to be made); 22 s after the sign-in less
# than a minute is left, and the next send gets a new one.
coproc OAUTH { exec /usr/bin/python3 "$fixtures/oauth_server.py" --out "$E2E_WORK/oauth" --lifetime 80 --username "$account"; }
read -r -t 20 OAUTH_PORT <&"${OAUTH[0]}"
OAUTH_PID=$OAUTH_PID
provider="http://127.0.0.1:$OAUTH_PORT"
mail="$E2E_WORK/mail"
coproc XOAUTH { exec /usr/bin/python3 "$fixtures/smtp_xoauth2_server.py" --out "$mail" --introspect "$provider/introspect"; }
read -r -t 20 SMTP_PORT <&"${XOAUTH[0]}"
XOAUTH_PID=$XOAUTH_PID
check "the authorization and mail servers start" test -n "$OAUTH_PORT" -a -n "$SMTP_PORT"

/usr/bin/python3 "$E2E_DIR/../../scripts/lib/write-profile.py" "$XDG_CONFIG_HOME" --port "$SMTP_PORT" \
  --sender-name "Reception Desk" --sender-address "$account" --recipient "Alice Able=alice@example.org"
# What an administrator deploys for every desk.
cat >"$XDG_CONFIG_HOME/Lumarc/quorvane-signin.conf" <<EOF
[SignIn]
Provider=custom
ClientId=quorvane-test-client
AuthorizeUrl=$provider/authorize
TokenUrl=$provider/token
Scope=mail offline_access
EOF
mkdir -p "$E2E_WORK/bin"
cat >"$E2E_WORK/bin/xdg-open" <<EOF
#!/bin/sh
# The user's browser, agreeing at once: the provider's page redirects back.
echo "\$1" >>"$E2E_WORK/logs/browser.log"
exec curl -s -L --max-time 20 -o "$E2E_WORK/browser-page.html" "\$1"
EOF
chmod +x "$E2E_WORK/bin/xdg-open"
export PATH="$E2E_WORK/bin:$PATH"

choices="$XDG_CONFIG_HOME/Lumarc/quorvane/signin.conf"
oauth_events() { # oauth_events GRANT: how many tokens were given for that grant
  grep -c "\"grant_type\": \"$1\", \"ok\": true" "$E2E_WORK/oauth/events.jsonl" 2>/dev/null
}
window_says() { # window_says TITLE LINE: a screen reader reads LINE in that window
  local texts
  texts=$(/usr/bin/python3 "$E2E_DIR/window_texts.py" "$QV_PID" "$1")
  printf '%s\n' "== $1" "$texts" >>"$E2E_WORK/logs/window-texts.log"
  grep -qxF -- "$2" <<<"$texts"
}
xoauth2_logins() { # how many times the mail server took the account's XOAUTH2 login
  /usr/bin/python3 -c 'import json, sys
print(sum(1 for l in open(sys.argv[1]) for e in [json.loads(l)]
          if e.get("event") == "auth" and e.get("mechanism") == "XOAUTH2" and e.get("login") == sys.argv[2] and e.get("success")))' \
    "$mail/events.jsonl" "$account"
}
open_form() {
  xdotool mousemove --window "$(tray_icon_window)" 11 11 click 1
  wait_for 20 has_window_named Quorvane && sleep 0.5
}
take_message() { # take_message NAME: typed from Name, to the first recipient, sent
  xdotool type --delay 20 "$1"
  for i in $(seq 1 16); do xdotool key Tab; done
  xdotool key space
  sleep 0.3
  xdotool key alt+s
}
exit_program() {
  xdotool mousemove --window "$(tray_icon_window)" 11 11 click 3
  sleep 1
  xdotool key x
  wait_for 20 process_gone "$QV_PID"
}

start_quorvane
check "the tray icon appears" wait_for 20 has_tray_icon
check "the form opens" open_form

# Setup: the account as the Username, then Sign in.
xdotool key alt+u
check "Setup opens" wait_for 10 has_window_named Setup
sleep 0.3
xdotool key alt+c
sleep 0.5
xdotool type --delay 20 "$account"
xdotool key alt+i
check "Sign in... opens the sign-in dialog" wait_for 15 has_window_named "Sign In"
sleep 0.5
screenshot signin-dialog
xdotool key alt+s
check "signing in in the browser is answered with its page" \
  wait_for 30 grep -q "You are signed in" "$E2E_WORK/browser-page.html"
check "the sign-in is saved as the way to log in" wait_for 15 grep -q "^Active=true" "$choices"
signed_in_at=$(date +%s)
check "the dialog says who is signed in" window_says "Sign In" "Signed in as $account."
screenshot signin-done
xdotool key alt+l
check "Close ends the sign-in dialog" wait_for 10 no_window_named "Sign In"
sleep 0.3
xdotool key alt+o
check "OK ends Setup" wait_for 10 no_window_named Setup
sleep 0.5

take_message "Jane Caller"
check "signed in, the message goes out" wait_for 30 test -f "$mail/message-1.json"
check "logging in with XOAUTH2 as the account" test "$(xoauth2_logins)" = 1
check "with the token the sign-in brought" test "$(oauth_events refresh_token)" = 0

# Less than a minute left on it: the next send gets a new one first.
sleep $(( signed_in_at + 22 - $(date +%s) > 0 ? signed_in_at + 22 - $(date +%s) : 0 ))
take_message "Kim Caller"
check "the next message goes out" wait_for 30 test -f "$mail/message-2.json"
check "after a refresh of the access token" test "$(oauth_events refresh_token)" = 1

# A new start reads the sign-in from the keyring: no browser again.
check "Exit ends the program" exit_program
browser_visits=$(wc -l <"$E2E_WORK/logs/browser.log")
start_quorvane
check "the tray icon is back" wait_for 20 has_tray_icon
check "the form opens again" open_form
take_message "Lee Caller"
check "after a restart, the message goes out" wait_for 30 test -f "$mail/message-3.json"
check "with a token from the stored sign-in" test "$(oauth_events refresh_token)" = 2
check "and no new sign-in in the browser" test "$(wc -l <"$E2E_WORK/logs/browser.log")" = "$browser_visits"
check "no token in any plain file of the profile" \
  bash -c '! grep -rqE "(rt|at)-[A-Za-z0-9_-]{32}" "$1"' _ "$XDG_CONFIG_HOME"

# Revoked at the provider (a changed password, an administrator): the mail
# server refuses the held token, a new one is asked for, and the sign-in
# itself is refused.
curl -s -d all=1 "$provider/revoke" >/dev/null
take_message "Max Caller"
check "a revoked sign-in ends in the send error" wait_for 30 has_window_named "Quorvane Send Error"
check "which says to sign in again" \
  window_says "Quorvane Send Error" "The sign-in has expired: sign in again in Setup"
xdotool key Return
check "OK ends it" wait_for 10 no_window_named "Quorvane Send Error"
sleep 0.5
xdotool key alt+s
check "sent again, the send error shows again" wait_for 30 has_window_named "Quorvane Send Error"
check "and says so again" window_says "Quorvane Send Error" "The sign-in has expired: sign in again in Setup"
screenshot signin-expired
xdotool key Return
check "OK ends it" wait_for 10 no_window_named "Quorvane Send Error"
check "the message is back on the form" window_says Quorvane "Name:=Max Caller"
check "and nothing more reached the mail server" test ! -e "$mail/message-4.json"
# The sign-in dialog no longer says who is signed in.
xdotool key alt+u
check "Setup opens once more" wait_for 10 has_window_named Setup
sleep 0.3
xdotool key alt+i
check "and the sign-in dialog" wait_for 15 has_window_named "Sign In"
sleep 0.5
check "which says the sign-in is no longer valid" \
  window_says "Sign In" "The sign-in of $account is no longer valid: sign in again."
xdotool key alt+l
check "Close ends the sign-in dialog again" wait_for 10 no_window_named "Sign In"
sleep 0.3
xdotool key alt+o
check "and OK ends Setup again" wait_for 10 no_window_named Setup
sleep 0.3

# No keyring to ask: a clear reason, soon, not a program that hangs. The
# keyring's name on the bus is held by a program that answers nothing it is
# asked, as when no keyring serves this desktop.
kill "$KEYRING_PID" && wait "$KEYRING_PID" 2>/dev/null
KEYRING_PID=
check "the keyring has left the bus" wait_for 10 bash -c '! gdbus call --session -d org.freedesktop.DBus \
  -o /org/freedesktop/DBus -m org.freedesktop.DBus.NameHasOwner org.freedesktop.secrets | grep -q true'
/usr/bin/python3 -c 'from gi.repository import Gio, GLib
Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.secrets", Gio.BusNameOwnerFlags.NONE, None, None, None)
GLib.MainLoop().run()' &
SQUATTER_PID=$!
exit_program
start_quorvane
check "the tray icon is back once more" wait_for 20 has_tray_icon
check "the form opens once more" open_form
take_message "Ned Caller"
check "without a keyring, the send error shows within 20 s" wait_for 20 has_window_named "Quorvane Send Error"
check "saying the keyring could not be used" \
  window_says "Quorvane Send Error" "The desktop keyring could not be used (Object does not exist at path “/org/freedesktop/secrets”). Start the desktop's keyring, or keep the sign-in in a private file instead"
screenshot signin-no-keyring
xdotool key Return
check "the program still answers" wait_for 10 no_window_named "Quorvane Send Error"
check "and nothing reached the mail server" test ! -e "$mail/message-4.json"
