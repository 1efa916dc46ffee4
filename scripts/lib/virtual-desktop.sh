# Sourced by the run command and the end-to-end tests: a virtual X display
# with a notification area, for machines that have no desktop of their own.
#
#   start_virtual_desktop LOGDIR [--no-tray]
#                                  sets DISPLAY, starts Xvfb and tint2 (or,
#                                  with --no-tray, a desktop without one)
#   start_tray_host LOGDIR         starts tint2 on a desktop that has none yet
#   stop_tray_host                 ends it
#   stop_virtual_desktop           ends both

QV_LIB_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

start_virtual_desktop() {
  local logdir="$1" tray="${2:-}"
  mkdir -p "$logdir"
  local n
  for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then break; fi
  done
  # -noreset: without it the root window's properties go when the last
  # client leaves, and the tray host would lose its work area.
  Xvfb ":$n" -screen 0 1280x800x24 -noreset -nolisten tcp >"$logdir/xvfb.log" 2>&1 &
  QV_XVFB_PID=$!
  export DISPLAY=":$n"
  local i
  for i in $(seq 1 100); do
    xprop -root >/dev/null 2>&1 && break
    sleep 0.1
  done
  # tint2 shows no tray until a window manager has described the desktop;
  # there is none here, so describe it ourselves.
  xprop -root -f _NET_NUMBER_OF_DESKTOPS 32c -set _NET_NUMBER_OF_DESKTOPS 1
  xprop -root -f _NET_CURRENT_DESKTOP 32c -set _NET_CURRENT_DESKTOP 0
  xprop -root -f _NET_WORKAREA 32c -set _NET_WORKAREA "0, 0, 1280, 770"
  [ "$tray" = --no-tray ] && return 0
  start_tray_host "$logdir"
}

start_tray_host() {
  local logdir="$1" i
  : >"$logdir/tint2.log"
  tint2 -c "$QV_LIB_DIR/tint2rc" >"$logdir/tint2.log" 2>&1 &
  QV_TINT2_PID=$!
  for i in $(seq 1 100); do
    grep -q "systray started" "$logdir/tint2.log" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "virtual-desktop: the tray host did not start (see $logdir/tint2.log)" >&2
  return 1
}

stop_tray_host() {
  [ -n "${QV_TINT2_PID:-}" ] && kill "$QV_TINT2_PID" 2>/dev/null && wait "$QV_TINT2_PID" 2>/dev/null
  QV_TINT2_PID=
  return 0
}

stop_virtual_desktop() {
  [ -n "${QV_TINT2_PID:-}" ] && kill "$QV_TINT2_PID" 2>/dev/null
  [ -n "${QV_XVFB_PID:-}" ] && kill "$QV_XVFB_PID" 2>/dev/null
  wait "${QV_TINT2_PID:-}" "${QV_XVFB_PID:-}" 2>/dev/null
  QV_TINT2_PID=
  QV_XVFB_PID=
  return 0
}
