#!/usr/bin/env bash
# A desktop without a notification area: the program is never invisible.
source "$(dirname "$0")/lib.sh"
e2e_begin "$1" --no-tray

start_quorvane
check "the form opens by itself when there is no tray" wait_for 20 has_window_named Quorvane
xdotool key Escape
check "Escape closes it" wait_for 10 no_window_named Quorvane
timeout 20 "$QUORVANE"; second=$?
check "a second start exits with 0" test "$second" = 0
check "and brings the running copy's form forward" wait_for 10 has_window_named Quorvane
check "the first copy keeps running" process_alive "$QV_PID"

# The notification area comes later, as when the program starts before the
# panel at log-in: the icon appears in it, and the open form stays.
check "a tray started later" start_tray_host "$E2E_WORK/logs"
check "shows the icon" wait_for 20 has_tray_icon
check "the form stays open" has_window_named Quorvane
stop_tray_host
check "a restarted tray" start_tray_host "$E2E_WORK/logs"
check "shows the icon again" wait_for 20 has_tray_icon
xdotool key Escape
check "the form closes" wait_for 10 no_window_named Quorvane
xdotool mousemove --window "$(tray_icon_window)" 11 11 click 1
check "and a click on the icon opens it" wait_for 20 has_window_named Quorvane
