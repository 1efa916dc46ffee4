#!/usr/bin/env bash
# What a screen reader or voice control sees: the real program on its own
# accessibility bus, checked through AT-SPI as such tools use it.
if [ -z "${QUORVANE_A11Y_SESSION:-}" ]; then
  # A private session bus, so the check neither needs nor touches a desktop's.
  exec env QUORVANE_A11Y_SESSION=1 dbus-run-session -- bash "$0" "$@"
fi
source "$(dirname "$0")/lib.sh"
e2e_begin "$1"

/usr/libexec/at-spi-bus-launcher --launch-immediately >"$E2E_WORK/logs/at-spi.log" 2>&1 &
ATSPI_PID=$!
trap 'kill "$ATSPI_PID" 2>/dev/null; e2e_end' EXIT
/usr/bin/python3 "$E2E_DIR/../../scripts/lib/write-profile.py" "$XDG_CONFIG_HOME" --port 25 \
  --sender-name "Reception Desk" --sender-address "reception@example.org" \
  --recipient "Alice Able=alice@example.org" --recipient "Bob Baker=bob@example.org"

export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
start_quorvane
check "the tray icon appears" wait_for 20 has_tray_icon
xdotool mousemove --window "$(tray_icon_window)" 11 11 click 1
check "a click on the tray icon opens the form" wait_for 20 has_window_named Quorvane

/usr/bin/python3 "$E2E_DIR/accessibility_check.py" "$QV_PID" | tee "$E2E_WORK/logs/accessibility.log"
check "names, roles and actions as a screen reader sees them" test "${PIPESTATUS[0]}" = 0
