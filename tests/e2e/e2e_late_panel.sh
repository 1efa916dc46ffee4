#!/usr/bin/env bash
# A panel that comes up seconds after the program, as at a slow log-in: the
# icon shows in it and no form is left open; with no panel at all, the form
# still opens.
source "$(dirname "$0")/lib.sh"
e2e_begin "$1" --no-tray

end_run() {
  kill "$QV_PID" 2>/dev/null; wait "$QV_PID" 2>/dev/null; QV_PID=
  stop_tray_host
  wait_for 10 no_window_named Quorvane
}

# Started as the session's autostart entry starts it.
start_at_login() {
  "$QUORVANE" --autostart >"$E2E_WORK/logs/quorvane.login.$RANDOM.log" 2>&1 &
  QV_PID=$!
}

for delay in 3 10; do
  start_at_login
  sleep "$delay"
  check "log-in, panel after $delay s: the panel starts" start_tray_host "$E2E_WORK/logs"
  check "log-in, panel after $delay s: the icon appears" wait_for 20 has_tray_icon
  sleep 1.5
  check "log-in, panel after $delay s: no form is left open" no_window_named Quorvane
  end_run
done

start_at_login
check "log-in, no panel at all: the form opens" wait_for 30 has_window_named Quorvane
end_run

# Started by hand: the form opens after the usual wait; a panel that comes
# then takes it back if nothing was typed, and leaves it if something was.
start_quorvane
check "by hand, no panel yet: the form opens" wait_for 20 has_window_named Quorvane
check "by hand, the panel comes: it starts" start_tray_host "$E2E_WORK/logs"
check "by hand, the panel comes: the icon appears" wait_for 20 has_tray_icon
check "by hand, the panel comes: the untouched form closes" wait_for 5 no_window_named Quorvane
end_run

start_quorvane
check "by hand, typed in: the form opens" wait_for 20 has_window_named Quorvane
sleep 0.3
xdotool type --delay 20 "Jane"
check "by hand, typed in: the panel starts" start_tray_host "$E2E_WORK/logs"
check "by hand, typed in: the icon appears" wait_for 20 has_tray_icon
sleep 1.5
check "by hand, typed in: the form stays open" has_window_named Quorvane
end_run
