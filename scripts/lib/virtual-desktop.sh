# Sourced by the run command and the end-to-end tests: a virtual X display
# with a notification area, for machines that have no desktop of their own.
#
#   start_virtual_desktop LOGDIR [--no-tray|--trayer]
#                                  sets DISPLAY, starts Xvfb and tint2 (or,
#                                  with --no-tray, a desktop without one; with
#                                  --trayer, trayer as the tray host)
#   start_tray_host LOGDIR         starts tint2 on a desktop that has none yet
#   start_trayer LOGDIR            the same with trayer
#   stop_tray_host                 ends it
#   start_window_manager LOGDIR    starts ratpoison, which manages and
#                                  focuses every new window
#   stop_virtual_desktop           ends both

QV_LIB_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

start_virtual_desktop() {
  local logdir="$1" tray="${2:-}"
  mkdir -p "$logdir"
  # A free display is one whose lock file names our own server: two scripts
  # that pick the same number at once would otherwise both talk to the one
  # server that won, and see each other's windows.
  local n i owner
  for n in $(seq 90 140); do
    if [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; then continue; fi
    # -noreset: without it the root window's properties go when the last
    # client leaves, and the tray host would lose its work area.
    Xvfb ":$n" -screen 0 1280x800x24 -noreset -nolisten tcp >"$logdir/xvfb.log" 2>&1 &
    QV_XVFB_PID=$!
    for i in $(seq 1 100); do
      kill -0 "$QV_XVFB_PID" 2>/dev/null || break
      owner=$(tr -dc 0-9 2>/dev/null <"/tmp/.X$n-lock")
      if [ "$owner" = "$QV_XVFB_PID" ] && DISPLAY=":$n" xprop -root >/dev/null 2>&1; then break 2; fi
      sleep 0.1
    done
    kill "$QV_XVFB_PID" 2>/dev/null; wait "$QV_XVFB_PID" 2>/dev/null
    QV_XVFB_PID=
  done
  if [ -z "${QV_XVFB_PID:-}" ]; then
    echo "virtual-desktop: no X display could be started (see $logdir/xvfb.log)" >&2
    return 1
  fi
  export DISPLAY=":$n"
  # tint2 shows no tray until a window manager has described the desktop;
  # there is none here, so describe it ourselves.
  xprop -root -f _NET_NUMBER_OF_DESKTOPS 32c -set _NET_NUMBER_OF_DESKTOPS 1
  xprop -root -f _NET_CURRENT_DESKTOP 32c -set _NET_CURRENT_DESKTOP 0
  xprop -root -f _NET_WORKAREA 32c -set _NET_WORKAREA "0, 0, 1280, 770"
  [ "$tray" = --no-tray ] && return 0
  if [ "$tray" = --trayer ]; then
    start_trayer "$logdir"
    return
  fi
  start_tray_host "$logdir"
}

# tint2 now and then drops a new icon when X hands its window the id of one
# just gone; trayer keeps what it is given, so a run of many launches in a
# row keeps every icon.
start_trayer() {
  local logdir="$1" i
  trayer --edge bottom --align right --widthtype request --height 24 --transparent false \
    >"$logdir/trayer.log" 2>&1 &
  QV_TINT2_PID=$!
  for i in $(seq 1 100); do
    [ -n "$(xdotool search --classname trayer 2>/dev/null)" ] && return 0
    sleep 0.1
  done
  echo "virtual-desktop: the tray host did not start (see $logdir/trayer.log)" >&2
  return 1
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

start_window_manager() {
  local logdir="$1" i
  # Its own HOME: no one's settings file, and its start-up message off.
  mkdir -p "$logdir/wm-home"
  echo "set startupmessage 0" >"$logdir/wm-home/.ratpoisonrc"
  HOME="$logdir/wm-home" ratpoison >"$logdir/ratpoison.log" 2>&1 &
  QV_WM_PID=$!
  for i in $(seq 1 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && return 0
    xprop -root RP_COMMAND_REQUEST >/dev/null 2>&1 && sleep 0.3 && return 0
    sleep 0.1
  done
  echo "virtual-desktop: the window manager did not start (see $logdir/ratpoison.log)" >&2
  return 1
}

stop_virtual_desktop() {
  [ -n "${QV_WM_PID:-}" ] && kill "$QV_WM_PID" 2>/dev/null
  [ -n "${QV_TINT2_PID:-}" ] && kill "$QV_TINT2_PID" 2>/dev/null
  [ -n "${QV_XVFB_PID:-}" ] && kill "$QV_XVFB_PID" 2>/dev/null
  wait ${QV_WM_PID:-} ${QV_TINT2_PID:-} ${QV_XVFB_PID:-} 2>/dev/null
  QV_WM_PID=
  QV_TINT2_PID=
  QV_XVFB_PID=
  return 0
}
