#!/usr/bin/env bash
# Shows the main job on a machine with no desktop: a virtual display with a
# notification area, a mail server on 127.0.0.1 that keeps what it receives,
# and the real program in a throw-away profile, driven through one message as
# a receptionist would take it. Screenshots and the delivered message are left
# in one folder, whose path it prints at the end.
#
#   scripts/demo.sh PROGRAM [FOLDER]
#
# FOLDER defaults to a new folder under /tmp. The user's own settings are
# never touched. Every wait is bounded; whatever it started ends with it.
set -euo pipefail

program="$(readlink -f "${1:?usage: scripts/demo.sh PROGRAM [FOLDER]}")"
lib="$(cd "$(dirname "$0")/lib" && pwd)"
[ -x "$program" ] || { echo "demo: $program is not a program" >&2; exit 1; }
if [ -n "${2:-}" ]; then
  out="$2"; mkdir -p "$out"
else
  out="$(mktemp -d "${TMPDIR:-/tmp}/quorvane-demo.XXXXXX")"
fi
out="$(cd "$out" && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/quorvane-demo-profile.XXXXXX")"
mkdir -p "$work/logs"

source "$lib/virtual-desktop.sh"
source "$lib/program-windows.sh"

qv_pid=
catcher_pid=
finished=0

cleanup() {
  set +e
  if [ -n "$qv_pid" ]; then kill "$qv_pid" 2>/dev/null; wait "$qv_pid" 2>/dev/null; fi
  if [ -n "$catcher_pid" ]; then kill "$catcher_pid" 2>/dev/null; wait "$catcher_pid" 2>/dev/null; fi
  stop_virtual_desktop
  if [ "$finished" != 1 ]; then
    rm -rf "$out/logs"
    cp -r "$work/logs" "$out/logs" 2>/dev/null
    echo "demo: stopped early; logs are in $out/logs" >&2
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

say() { echo "demo: $*"; }
fail() { echo "demo: FAILED: $*" >&2; exit 1; }


has_notice() { visible_window_of_size 120x25 >/dev/null; }
program_gone() { ! kill -0 "$qv_pid" 2>/dev/null; }
type_text() { xdotool type --delay 25 "$1"; }
# A picture of one window, as it is on the screen.
shoot_window() { import -window "$1" "$out/$2.png" 2>>"$work/logs/import.log"; }

start_virtual_desktop "$work/logs" || fail "no virtual display with a notification area"
# A plain desktop colour instead of black, for the screenshots.
timeout 10 display -window root -size 1280x800 xc:'#4b6584' 2>/dev/null || true
say "virtual display $DISPLAY with a notification area (Xvfb and tint2)"

/usr/bin/python3 "$lib/mail-catcher.py" --out "$out" --lifetime 600 \
  >"$work/catcher.port" 2>"$work/logs/mail-catcher.log" &
catcher_pid=$!
wait_for 20 test -s "$work/catcher.port" || fail "the mail catcher did not start"
port="$(head -n 1 "$work/catcher.port")"
say "mail catcher on 127.0.0.1:$port, keeping what it receives in $out"

# A made-up office: a sender, ten recipients, a phrase of its own, HTML mail.
recipients=()
for r in "Alice Able=alice@example.org" "Bob Baker=bob@example.org" "Carol Chen=carol@example.org" \
         "Dev Dutta=dev@example.org" "Erin Evans=erin@example.org" "Frank Fisher=frank@example.org" \
         "Grace Green=grace@example.org" "Hamid Hosseini=hamid@example.org" \
         "Sales team=sales@example.org" "Accounts=accounts@example.org"; do
  recipients+=(--recipient "$r")
done
/usr/bin/python3 "$lib/write-profile.py" "$work/config" --port "$port" --html \
  --sender-name "Reception Desk" --sender-address "reception@example.org" \
  --custom-message1 "Will FAX documents" "${recipients[@]}"
say "throw-away profile (removed at the end): server 127.0.0.1:$port, ten recipients"

mkdir -p "$work/cache" "$work/data" "$work/state" "$work/runtime"
chmod 700 "$work/runtime"
# Everything the program could write goes into the throw-away folders, and no
# desktop session of the user's is reached (its bus would take the tray icon).
env -u DBUS_SESSION_BUS_ADDRESS -u WAYLAND_DISPLAY -u SESSION_MANAGER \
  XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data" \
  XDG_STATE_HOME="$work/state" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb \
  timeout -k 5 600 "$program" >"$work/logs/quorvane.log" 2>&1 &
qv_pid=$!

wait_for 20 has_tray_icon || fail "the tray icon did not appear"
say "the tray icon is in the panel; clicking it"
xdotool mousemove --window "$(tray_icon_window)" 11 11 click 1
wait_for 20 has_window_named Quorvane || fail "the message form did not open"
sleep 0.5
form="$(window_named Quorvane)"

say "taking a message: caller, company, phone, e-mail, text, two phrases, one recipient"
# The cursor starts in Name; Tab walks Company, Phone, Email, the message,
# then the phrases from Telephoned on, and past Close to the first recipient.
type_text "Maria Lopez"
xdotool key Tab; type_text "Harbour Freight & Co"
xdotool key Tab; type_text "+61 2 5550 0123"
xdotool key Tab; type_text "maria.lopez@example.com"
xdotool key Tab; type_text "The delivery for Thursday is ready."
xdotool key Return; type_text "She can bring it any time after 10 am."
xdotool key Tab space               # Telephoned
xdotool key Tab space               # Please call back
for _ in $(seq 1 10); do xdotool key Tab; done
xdotool key space                   # Alice Able
sleep 0.5
shoot_window "$form" form

say "Send"
xdotool key alt+s
wait_for 30 test -f "$out/message-1.eml" || fail "the mail catcher received nothing"
wait_for 10 has_notice || fail "no \"Message Sent\" notice"
sleep 0.3
# The notice in its corner, with the panel below it; and the whole screen.
import -window root -crop 360x150+920+650 +repage "$out/notice.png" 2>>"$work/logs/import.log"
import -window root "$out/desktop.png" 2>>"$work/logs/import.log"
say "delivered; the form is empty again for the next call"

# Setup last: with no window manager here, the form would not get the
# keyboard back when it closes.
say "Setup, where the mail server is set, and the sign-in with a mail provider"
xdotool key alt+u
wait_for 10 has_window_named Setup || fail "Setup did not open"
sleep 0.5
shoot_window "$(window_named Setup)" setup
xdotool key alt+i
wait_for 15 has_window_named "Sign In" || fail "Sign in... did not open the sign-in dialog"
sleep 0.5
shoot_window "$(window_named "Sign In")" signin
xdotool key Escape
wait_for 10 no_window_named "Sign In" || fail "the sign-in dialog did not close"
sleep 0.3
xdotool key Escape
wait_for 10 no_window_named Setup || fail "Setup did not close"

# The HTML page of the message, to look at in a browser.
/usr/bin/python3 - "$out/message-1.eml" "$out/message-1.html" <<'EOF'
import email, email.policy, sys
msg = email.message_from_binary_file(open(sys.argv[1], "rb"), policy=email.policy.default)
for part in msg.walk():
    if part.get_content_type() == "text/html":
        open(sys.argv[2], "w", encoding="utf-8").write(part.get_content())
        break
EOF

# Exit from the tray menu, as a user would.
xdotool mousemove --window "$(tray_icon_window)" 11 11 click 3
sleep 1
xdotool key x
wait_for 20 program_gone || fail "Exit from the tray menu did not end the program"
wait "$qv_pid" 2>/dev/null || true
qv_pid=

finished=1
echo
say "the message as delivered:"
sed -n '/^\r\?$/q; /^\(From\|To\|Subject\|Date\|Importance\):/p' "$out/message-1.eml" | tr -d '\r' | sed 's/^/  /'
echo
echo "Demonstration folder: $out"
ls -1 "$out" | sed 's/^/  /'
