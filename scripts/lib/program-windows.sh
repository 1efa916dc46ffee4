# Sourced by the demonstration, the package check and the end-to-end checks:
# finding Quorvane's windows on an X display with xdotool.

# Waits up to $1 seconds for a command to succeed.
wait_for() {
  local seconds="$1"; shift
  local i
  for i in $(seq 1 $((seconds * 10))); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# A visible window of the program of exactly this size, e.g. 120x25 for the
# "Message Sent" strip.
visible_window_of_size() {
  local w
  for w in $(xdotool search --onlyvisible --classname quorvane 2>/dev/null); do
    if xdotool getwindowgeometry "$w" 2>/dev/null | grep -q "Geometry: $1\$"; then
      echo "$w"; return 0
    fi
  done
  return 1
}
has_visible_window_of_size() { visible_window_of_size "$1" >/dev/null; }
no_visible_window_of_size() { ! has_visible_window_of_size "$1"; }

# The embedded tray icon: the program's 22x22 window (mapped by the tray host,
# so it is looked for among all windows, not only visible ones).
tray_icon_window() {
  local w
  for w in $(xdotool search --classname quorvane 2>/dev/null); do
    if xdotool getwindowgeometry "$w" 2>/dev/null | grep -q "Geometry: 22x22\$"; then
      echo "$w"; return 0
    fi
  done
  return 1
}
has_tray_icon() { tray_icon_window >/dev/null; }

window_named() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }
has_window_named() { [ -n "$(window_named "$1")" ]; }
no_window_named() { ! has_window_named "$1"; }
