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

# A pixel of the strip's plain background, as the screen shows it.
screen_pixel() { import -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null | grep -o '([0-9, ]*)' | head -n 1 | tr -d '() '; }
strip_pixel() { screen_pixel 1190 718; }
solid=$(strip_pixel)
geometry=$(xdotool getwindowgeometry "$strip" 2>/dev/null)
check "the strip is 120x25" grep -q "Geometry: 120x25$" <<<"$geometry"
check "at 200 from the right and 100 from the bottom" grep -q "Position: 1080,700 " <<<"$geometry"
check "no window manager manages it (override-redirect)" \
  bash -c 'xwininfo -id "$1" | grep -q "Override Redirect State: yes"' _ "$strip"
check "it never had the keyboard" bash -c '! grep -qx "$1" "$2"' _ "$strip" "$focus_log"
check "the form kept the keyboard" bash -c 'grep -qx "$1" "$2"' _ "$form" "$focus_log"
check "its window has an alpha channel (depth 32)" \
  bash -c 'xwininfo -id "$1" | grep -q "Depth: 32"' _ "$strip"
check "with nothing to blend it, it is drawn solid ($solid)" \
  /usr/bin/python3 -c 'import sys; r,g,b=map(int,sys.argv[1].split(",")[:3]); sys.exit(not min(r,g,b) > 150)' "$solid"
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

# With a compositing manager, the strip is 63% opaque over the desktop.
check "the second strip goes away" wait_for 10 no_visible_window_of_size 120x25
xcompmgr >"$E2E_WORK/logs/xcompmgr.log" 2>&1 &
compositor=$!
sleep 1
check "the compositing manager runs" process_alive "$compositor"
xdotool type --delay 20 "Third Caller"
tick_alice_and_send
check "the third message goes out" wait_for 30 test -f "$mail/message-3.json"
check "the strip shows" wait_for 10 has_visible_window_of_size 120x25
sleep 0.3
blended=$(strip_pixel)
behind=$(screen_pixel 1190 690)   # the desktop just above the strip
screenshot notice-composited
check "blended, it is 160/255 of itself and 95/255 of the desktop ($blended from $solid over $behind)" \
  /usr/bin/python3 -c '
import sys
solid, blended, behind = ([int(v) for v in a.split(",")[:3]] for a in sys.argv[1:4])
sys.exit(not all(abs(b - (s * 160 + d * 95) / 255) <= 4 for s, b, d in zip(solid, blended, behind)))' \
  "$solid" "$blended" "$behind"
kill "$compositor" 2>/dev/null; wait "$compositor" 2>/dev/null
exit 0
