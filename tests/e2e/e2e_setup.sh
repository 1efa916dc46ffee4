#!/usr/bin/env bash
# A new user sets Quorvane up from nothing through its own dialogs, then
# takes and sends a message.
source "$(dirname "$0")/lib.sh"
e2e_begin "$1"
trap 'stop_smtp_server; e2e_end' EXIT

mail="$E2E_WORK/mail"
check "the test mail server starts" start_smtp_server "$mail"
start_quorvane
check "the tray icon appears" wait_for 20 has_tray_icon
xdotool mousemove --window "$(tray_icon_window)" 11 11 click 1
check "the form opens" wait_for 20 has_window_named Quorvane
sleep 0.5

# Setup: server, sender, and the port six stops after the sender's address.
xdotool key alt+u
check "Set up opens Setup" wait_for 10 has_window_named Setup
sleep 0.3
xdotool type --delay 20 "127.0.0.1"
xdotool key Tab; xdotool type --delay 20 "Reception Desk"
xdotool key Tab; xdotool type --delay 20 "reception@example.org"
for i in $(seq 1 6); do xdotool key Tab; done
xdotool key ctrl+a; xdotool type --delay 20 "$SMTP_PORT"
screenshot setup-filled
xdotool key Return
check "OK closes Setup" wait_for 10 no_window_named Setup

# Two recipients in the editor.
xdotool key alt+e
check "Edit Recipients opens the editor" wait_for 10 has_window_named "Edit Recipients"
sleep 0.3
xdotool type --delay 20 "Alice Able"
xdotool key Tab; xdotool type --delay 20 "alice@example.org"
xdotool key Tab; xdotool type --delay 20 "Bob Baker"
xdotool key Tab; xdotool type --delay 20 "bob@example.org"
xdotool key Return
check "OK closes the editor" wait_for 10 no_window_named "Edit Recipients"
sleep 0.5

# The message, to both.
xdotool type --delay 20 "Carol Caller"
for i in $(seq 1 4); do xdotool key Tab; done
xdotool type --delay 20 "Please call about the lease"
xdotool key Tab space                        # Telephoned
for i in $(seq 1 11); do xdotool key Tab; done
xdotool key space Tab space                  # Alice Able, Bob Baker
screenshot setup-form-filled
xdotool key alt+s
check "the server receives the message" wait_for 30 test -f "$mail/message-1.json"
if [ -f "$mail/message-1.json" ]; then
  check "sent to both new recipients" \
    test "$(json_field "$mail/message-1.json" 'sorted(m["rcpt_tos"])')" = "['alice@example.org', 'bob@example.org']"
  check "from the sender set up" \
    test "$(json_field "$mail/message-1.json" 'dict(m["headers"])["From"]')" = "Reception Desk <reception@example.org>"
  check "as HTML, the new profile's default" \
    test "$(json_field "$mail/message-1.json" '"text/html" in [p["content_type"] for p in m["parts"]]')" = True
fi
