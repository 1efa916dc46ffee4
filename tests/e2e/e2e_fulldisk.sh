#!/usr/bin/env bash
# A full disk under the data folder: a Send whose page cannot be written fails
# before anything is sent, with the message kept and a box shown; Close says it
# could not save; the data files stay whole. The folder is a small tmpfs,
# mounted in a private mount namespace so that nothing outside sees it.
if [ -z "${QV_FULLDISK_NAMESPACE:-}" ]; then
  # Root in a container may still lack the right to make a mount namespace.
  if [ "$(id -u)" = 0 ] && unshare -m --propagation private true 2>/dev/null; then
    namespace=(unshare -m --propagation private)
  elif unshare -rm --propagation private true 2>/dev/null; then
    namespace=(unshare -rm --propagation private)
  else
    echo "SKIP: no private mount namespace can be made here (neither as root nor in a user namespace)"
    exit 77
  fi
  QV_FULLDISK_NAMESPACE=1 exec "${namespace[@]}" bash "$0" "$@"
fi

source "$(dirname "$0")/lib.sh"
e2e_begin "$1"
if ! mount -t tmpfs -o size=256k,mode=0700 quorvane-full "$XDG_CONFIG_HOME"; then
  echo "SKIP: no tmpfs could be mounted in the private namespace"
  trap - EXIT; stop_virtual_desktop; rm -rf "$E2E_WORK"; exit 77
fi
trap 'stop_smtp_server; [ -n "${QV_PID:-}" ] && kill "$QV_PID" 2>/dev/null; QV_PID=; umount "$XDG_CONFIG_HOME"; e2e_end' EXIT

data="$XDG_CONFIG_HOME/Lumarc/quorvane"
fill_disk() { dd if=/dev/zero of="$XDG_CONFIG_HOME/filler" bs=1k 2>/dev/null; sync; }
# Message boxes are titled "Quorvane" like the form and the tray icon: a box
# is any other visible window of that name.
boxes() {
  local w
  for w in $(xdotool search --onlyvisible --name '^Quorvane$' 2>/dev/null); do
    [ "$w" = "${form:-}" ] && continue
    xdotool getwindowgeometry "$w" 2>/dev/null | grep -q "Geometry: 22x22\$" && continue
    echo "$w"
  done
}
has_box() { [ -n "$(boxes)" ]; }
no_box() { ! has_box; }
# Without a window manager the keyboard goes nowhere once a box closes.
focus_form() { xdotool windowfocus --sync "$form" 2>/dev/null; sleep 0.3; }
files_of() { (cd "$data" && md5sum quorvane.dat qvnrecipients.dat); }

mail="$E2E_WORK/mail"
check "the test mail server starts" start_smtp_server "$mail"
/usr/bin/python3 "$E2E_DIR/../../scripts/lib/write-profile.py" "$XDG_CONFIG_HOME" --port "$SMTP_PORT" --html \
  --sender-name "Reception Desk" --sender-address "reception@example.org" \
  --recipient "Alice Able=alice@example.org" --recipient "Bob Baker=bob@example.org"

start_quorvane
check "the tray icon appears" wait_for 20 has_tray_icon
before=$(files_of)
fill_disk
check "the disk is full" test "$(df --output=avail "$XDG_CONFIG_HOME" | tail -n 1 | tr -d ' ')" = 0

xdotool mousemove --window "$(tray_icon_window)" 11 11 click 1
check "a click on the tray icon opens the form" wait_for 20 has_window_named Quorvane
sleep 0.5
form=$(window_named Quorvane)
xdotool type --delay 20 "Jane Caller"
for i in 1 2 3 4; do xdotool key Tab; done
xdotool type --delay 20 "Full disk message"
xdotool key Tab space                       # Telephoned
for i in $(seq 1 11); do xdotool key Tab; done
xdotool key space                           # Alice Able
sleep 0.3
xdotool key alt+s
check "a page that cannot be written is reported in a box over the form" wait_for 20 has_box
screenshot fulldisk-send-box
sleep 3
check "and nothing is sent" test ! -e "$mail/message-1.eml"
xdotool key Return
check "OK closes the box" wait_for 10 no_box
check "the form stays" process_alive "$QV_PID"
check "the data files are as they were" test "$(files_of)" = "$before"
focus_form

# Room again: Send alone sends the message that was kept, whole.
rm -f "$XDG_CONFIG_HOME/filler"
xdotool key alt+s
check "the kept message goes out once there is room" wait_for 30 test -f "$mail/message-1.json"
if [ -f "$mail/message-1.json" ]; then
  check "with its text in the page" \
    test "$(json_field "$mail/message-1.json" 'any("Full&nbsp;disk&nbsp;message" in p.get("text", "") for p in m["parts"] if p["content_type"] == "text/html")')" = True
  check "and in the plain text" \
    test "$(json_field "$mail/message-1.json" 'any("Full disk message" in p.get("text", "") for p in m["parts"] if p["content_type"] == "text/plain")')" = True
fi
sleep 1
saved=$(files_of)

# Full again: closing the form saves, cannot, and says so for each file.
fill_disk
focus_form
xdotool key Escape
check "Close on a full disk shows the Cannot create box" wait_for 20 has_box
screenshot fulldisk-close-box
for i in 1 2; do
  wait_for 10 has_box && xdotool windowfocus --sync "$(boxes | head -n 1)" 2>/dev/null && xdotool key Return
  sleep 0.5
done
check "one box for each file, then none" wait_for 10 no_box
check "the form is closed" bash -c '! xdotool search --onlyvisible --name "^Quorvane\$" | grep -qx "$1"' _ "$form"
check "both data files are whole and as last saved" test "$(files_of)" = "$saved"
check "no temporary file is left in the data folder" \
  test "$(ls -A "$data" | sort | tr '\n' ' ')" = "quorvane.dat quorvane.lock qvnrecipients.dat this_html_message.htm "
check "the program keeps running" process_alive "$QV_PID"

# The next start reads every setting and recipient back.
kill "$QV_PID"; wait "$QV_PID" 2>/dev/null; QV_PID=
rm -f "$XDG_CONFIG_HOME/filler"
check "the settings still name the mail server's port" \
  /usr/bin/python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(); sys.exit(0 if len(d)==1792 and struct.unpack_from("<i",d,760)[0]==int(sys.argv[2]) else 1)' \
  "$data/quorvane.dat" "$SMTP_PORT"
check "the recipients are still there" grep -q "alice@example.org" "$data/qvnrecipients.dat"
