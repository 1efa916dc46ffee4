#!/usr/bin/env bash
# The main job, as a receptionist does it: click the tray icon, take a message
# with the keyboard alone, Send; then the same with the mail server down.
source "$(dirname "$0")/lib.sh"
e2e_begin "$1"
trap 'stop_smtp_server; e2e_end' EXIT

mail="$E2E_WORK/mail"
check "the test mail server starts" start_smtp_server "$mail"
/usr/bin/python3 "$E2E_DIR/../../scripts/lib/write-profile.py" "$XDG_CONFIG_HOME" --port "$SMTP_PORT" \
  --sender-name "Reception Desk" --sender-address "reception@example.org" \
  --recipient "Alice Able=alice@example.org" --recipient "Bob Baker=bob@example.org"

start_quorvane
check "the tray icon appears" wait_for 20 has_tray_icon
xdotool mousemove --window "$(tray_icon_window)" 11 11 click 1
check "a click on the tray icon opens the form" wait_for 20 has_window_named Quorvane
sleep 0.5

# Focus starts in Name; Tab walks Company, Phone, Email, the message, then
# the phrases from Telephoned on, and past Close to the first recipient.
xdotool type --delay 20 "Jane Caller"
xdotool key Tab; xdotool type --delay 20 "Acme Pty Ltd"
xdotool key Tab; xdotool type --delay 20 "555 0100"
xdotool key Tab; xdotool type --delay 20 "jane@example.org"
xdotool key Tab; xdotool type --delay 20 "About the invoice"
xdotool key Return; xdotool type --delay 20 "Ring back today"
xdotool key Tab space                       # Telephoned
for i in $(seq 1 11); do xdotool key Tab; done
xdotool key space                           # Alice Able
sleep 0.3
screenshot form-filled
xdotool key alt+s
check "the server receives the message" wait_for 30 test -f "$mail/message-1.json"
if [ -f "$mail/message-1.json" ]; then
  check "addressed to the ticked recipient" \
    test "$(json_field "$mail/message-1.json" 'm["rcpt_tos"]')" = "['alice@example.org']"
  check "with the caller in the subject" \
    test "$(json_field "$mail/message-1.json" 'dict(m["headers"])["Subject"]')" = "Message From: Jane Caller"
  body=$(json_field "$mail/message-1.json" '[p["text"] for p in m["parts"] if p["content_type"]=="text/plain"][0]')
  check "the body carries the caller and the phrase" \
    bash -c 'grep -q "Company: Acme Pty Ltd" <<<"$1" && grep -q "Ring back today" <<<"$1" && grep -q "\[X\] Telephoned" <<<"$1"' _ "$body"
fi
check "the Message Sent notice appears" wait_for 10 has_visible_window_of_size 120x25
screenshot notice
check "and goes away" wait_for 10 no_visible_window_of_size 120x25

# The form is empty and ready: a new name alone makes the subject, and the
# recipient box is unticked again (a space ticks it, not unticks it).
stop_smtp_server
xdotool type --delay 20 "Bob Caller"
for i in $(seq 1 16); do xdotool key Tab; done
xdotool key space                           # Alice Able
xdotool key alt+s
check "with the server down, the send error shows" wait_for 60 has_window_named "Quorvane Send Error"
check "and no notice" no_visible_window_of_size 120x25
screenshot send-error
xdotool key Return
check "OK ends the send error" wait_for 10 no_window_named "Quorvane Send Error"

# The message is back on the form: once the server is up, Send alone sends it.
screenshot message-restored
check "the server comes back on its port" start_smtp_server "$mail-again" "$SMTP_PORT"
xdotool key alt+s
check "the restored message goes out" wait_for 30 test -f "$mail-again/message-1.json"
latest="$mail-again/message-1.json"
check "it is the message that failed" \
  test "$(json_field "$latest" 'dict(m["headers"])["Subject"]')" = "Message From: Bob Caller"

# A second click on the icon only brings the open form forward.
xdotool mousemove --window "$(tray_icon_window)" 11 11 click 1
sleep 1
check "a second tray click opens no second form" \
  test "$(xdotool search --onlyvisible --name '^Quorvane$' 2>/dev/null | wc -l)" = 1

# Exit from the tray menu ends the program while the form is open.
xdotool mousemove --window "$(tray_icon_window)" 11 11 click 3
sleep 1
xdotool key x
check "Exit ends the program with the form open" wait_for 20 process_gone "$QV_PID"
wait "$QV_PID"; code=$?
check "with exit code 0" test "$code" = 0
QV_PID=
