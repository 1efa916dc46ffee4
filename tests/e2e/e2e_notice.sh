#!/usr/bin/env bash
# The "Message Sent" strip under a window manager that manages and focuses
# every new window it is given, as tiling desktops do: the strip is never one
# of its windows, never has the keyboard, and what is typed while it shows
# reaches the form.
source "$(dirname "$0")/lib.sh"
e2e_begin "$1" --no-tray
trap 'stop_smtp_server; e2e_end' EXIT

mail="$E2E_WORK/mail"
check "the window manager starts" start_window_manager "$E2E_WORK/logs"
check "the test mail server starts" start_smtp_server "$mail"
/usr/bin/python3 "$E2E_DIR/../../scripts/lib/write-profile.py" "$XDG_CONFIG_HOME" --port "$SMTP_PORT" \
  --sender-address "reception@example.org" --recipient "Alice Able=alice@example.org"

# Without a tray the form opens by itself.
start_quorvane
check "the form opens" wait_for 20 has_window_named Quorvane
form=$(window_named Quorvane)
sleep 0.5
# From the caller's name, sixteen Tabs reach the first recipient.
tick_alice_and_send() {
  local i
  for i in $(seq 1 16); do xdotool key Tab; done
  xdotool key space
  sleep 0.3
  xdotool key alt+s
}
xdotool type --delay 20 "First Caller"
tick_alice_and_send
check "the first message goes out" wait_for 30 test -f "$mail/message-1.json"
check "the strip shows" wait_for 10 has_visible_window_of_size 120x25
strip=$(visible_window_of_size 120x25)
[ -n "$strip" ] || exit 1

# Typed at once, while the strip shows; the keyboard is watched meanwhile.
focus_log="$E2E_WORK/focus.log"
( for i in $(seq 1 15); do xdotool getwindowfocus 2>/dev/null; sleep 0.1; done ) >"$focus_log" &
watcher=$!
xdotool type --delay 30 "Typed While Shown"
shown_after_typing=no
has_visible_window_of_size 120x25 && shown_after_typing=yes
wait "$watcher"
check "the strip was still up when the typing ended" test "$shown_after_typing" = yes

geometry=$(xdotool getwindowgeometry "$strip" 2>/dev/null)
check "the strip is 120x25" grep -q "Geometry: 120x25$" <<<"$geometry"
check "at 200 from the right and 100 from the bottom" grep -q "Position: 1080,700 " <<<"$geometry"
check "no window manager manages it (override-redirect)" \
  bash -c 'xwininfo -id "$1" | grep -q "Override Redirect State: yes"' _ "$strip"
check "it never had the keyboard" bash -c '! grep -qx "$1" "$2"' _ "$strip" "$focus_log"
check "the form kept the keyboard" bash -c 'grep -qx "$1" "$2"' _ "$form" "$focus_log"
screenshot notice-managed

# What was typed went into the form: it is the next message's caller.
check "the strip goes away" wait_for 10 no_visible_window_of_size 120x25
tick_alice_and_send
check "the second message goes out" wait_for 30 test -f "$mail/message-2.json"
if [ -f "$mail/message-2.json" ]; then
  subject=$(json_field "$mail/message-2.json" 'dict(m["headers"])["Subject"]')
  check "with every key typed while the strip showed (\"$subject\")" \
    test "$subject" = "Message From: Typed While Shown"
fi
