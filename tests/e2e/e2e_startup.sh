#!/usr/bin/env bash
# Start-up in the tray: first run, one copy per profile, Exit from the menu.
source "$(dirname "$0")/lib.sh"
e2e_begin "$1"

start_quorvane
first=$QV_PID
check "the tray icon appears" wait_for 20 has_tray_icon
data="$XDG_CONFIG_HOME/Lumarc/quorvane"
check "a first run writes a 1792-byte settings file" test "$(stat -c %s "$data/quorvane.dat" 2>/dev/null)" = 1792
check "and a 7040-byte recipients file" test "$(stat -c %s "$data/qvnrecipients.dat" 2>/dev/null)" = 7040
check "the data folder is private" test "$(stat -c %a "$data")" = 700
check "the session autostart entry names the program, started as at log-in" \
  grep -qxF "Exec=\"$(dirname "$(readlink -f "$QUORVANE")")/quorvane\" --autostart" "$XDG_CONFIG_HOME/autostart/quorvane.desktop"

# The time limit only guards against a hang.
timeout 20 "$QUORVANE"; second=$?
check "a second copy exits with 0" test "$second" = 0
check "the first copy keeps running" process_alive "$first"

icon=$(tray_icon_window)
xdotool mousemove --window "$icon" 11 11 click 3
sleep 1
screenshot startup-tray-menu
xdotool key x
check "Exit from the tray menu ends the program" wait_for 20 process_gone "$first"
wait "$first"; code=$?
check "with exit code 0" test "$code" = 0
QV_PID=

# A copy that was killed leaves its lock behind; the next start takes it over.
start_quorvane
check "the program starts again" wait_for 20 has_tray_icon
kill -9 "$QV_PID"; wait "$QV_PID" 2>/dev/null
check "the killed copy's icon goes" wait_for 20 bash -c '! xdotool search --classname quorvane >/dev/null 2>&1'
start_quorvane
check "a start after a killed copy is not blocked" wait_for 20 has_tray_icon
kill "$QV_PID"; wait "$QV_PID" 2>/dev/null; QV_PID=
