#!/usr/bin/env bash
# The icon on a StatusNotifierItem panel (KDE Plasma, GNOME's AppIndicator
# extension, XFCE, Cinnamon, MATE, LXQt): a watcher and a host on a private
# session bus. A click arrives as Activate, the menu through dbusmenu.
if [ -z "${QV_PRIVATE_BUS:-}" ]; then
  QV_PRIVATE_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi
source "$(dirname "$0")/lib.sh"
e2e_begin "$1" --no-tray
trap 'stop_sni_panel; e2e_end' EXIT
# The host is a GTK program: keep it off any accessibility bus.
export NO_AT_BRIDGE=1

WATCHER=org.kde.StatusNotifierWatcher

watcher_get() { # watcher_get PROPERTY
  gdbus call --session --timeout 2 --dest "$WATCHER" --object-path /StatusNotifierWatcher \
    --method org.freedesktop.DBus.Properties.Get "$WATCHER" "$1" 2>/dev/null
}
host_registered() { watcher_get IsStatusNotifierHostRegistered | grep -q true; }

start_sni_panel() { # start_sni_panel [SECONDS the host comes after the watcher]
  status-notifier-watcher >>"$E2E_WORK/logs/watcher.log" 2>&1 &
  SNI_WATCHER_PID=$!
  wait_for 10 watcher_get ProtocolVersion >/dev/null || return 1
  sleep "${1:-0}"
  gtk-sni-tray-standalone >>"$E2E_WORK/logs/host.log" 2>&1 &
  SNI_HOST_PID=$!
  wait_for 10 host_registered
}

stop_sni_panel() {
  [ -n "${SNI_HOST_PID:-}" ] && kill "$SNI_HOST_PID" 2>/dev/null && wait "$SNI_HOST_PID" 2>/dev/null
  [ -n "${SNI_WATCHER_PID:-}" ] && kill "$SNI_WATCHER_PID" 2>/dev/null && wait "$SNI_WATCHER_PID" 2>/dev/null
  SNI_HOST_PID= SNI_WATCHER_PID=
  return 0
}

# The first registered item, as "service path" (a bare bus name means the
# usual object path).
sni_item() {
  local item
  item=$(watcher_get RegisteredStatusNotifierItems | grep -o "'[^']*'" | head -n 1 | tr -d "'")
  [ -n "$item" ] || return 1
  case "$item" in
    */*) echo "${item%%/*} /${item#*/}" ;;
    *) echo "$item /StatusNotifierItem" ;;
  esac
}
item_registered() { sni_item >/dev/null; }
item_pid() { # the process that owns the item's bus name
  gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.GetConnectionUnixProcessID "$1" 2>/dev/null | grep -o '[0-9]\+' | tail -n 1
}
item_is_ours() { local s p; read -r s p < <(sni_item) && test "$(item_pid "$s")" = "$QV_PID"; }

item_call() { # item_call SECONDS INTERFACE.METHOD ARGS...
  local s p t="$1" m="$2"; shift 2
  read -r s p < <(sni_item) || return 1
  gdbus call --session --timeout "$t" --dest "$s" --object-path "$p" --method "$m" "$@"
}
item_get() { # item_get PROPERTY
  item_call 2 org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem "$1"
}
forms() { xdotool search --onlyvisible --name '^Quorvane$' 2>/dev/null | wc -l; }
one_form() { test "$(forms)" = 1; }

# Activate must come back at once, however long the form stays open: a host
# that waits for the answer gives up after 25 seconds.
activate_answers_within_a_second() {
  local started ended
  started=$(date +%s%N)
  item_call 1 org.kde.StatusNotifierItem.Activate 0 0 >/dev/null || return 1
  ended=$(date +%s%N)
  [ $(((ended - started) / 1000000)) -lt 1000 ]
}

# --- The panel is there before the program.
check "the panel starts" start_sni_panel
start_quorvane
check "the item is registered with the watcher" wait_for 20 item_is_ours
tip_is_ours() { item_get ToolTip | grep -qF 'Quorvane Ready.\nLeft click to create a message.'; }
check "the tip is the program's" tip_is_ours

check "Activate is answered within a second" activate_answers_within_a_second
check "and opens the form" wait_for 10 one_form
check "a second Activate is answered within a second too" activate_answers_within_a_second
sleep 1
check "and opens no second form" one_form
screenshot sni-form

# The menu as the host reads it: Open first (Activate is its default), Exit.
menu_path=$(item_get Menu | grep -o "'/[^']*'" | tr -d "'")
check "the item exports a menu" test -n "$menu_path"
layout() {
  local s p
  read -r s p < <(sni_item)
  gdbus call --session --timeout 2 --dest "$s" --object-path "$menu_path" \
    --method com.canonical.dbusmenu.GetLayout 0 'int32 -1' '[]'
}
menu_entry() { # menu_entry N: "id label" of the Nth entry of the top level
  layout | /usr/bin/python3 -c '
import re, sys
entries = re.findall(r"<\((\d+), \{[^}]*?'"'"'label'"'"': <'"'"'([^'"'"']*)'"'"'>", sys.stdin.read())
print(*entries[int(sys.argv[1])])' "$1" 2>/dev/null
}
read -r open_id open_label < <(menu_entry 0)
read -r exit_id exit_label < <(menu_entry 1)
check "the menu's first entry is Open" test "$open_label" = "_Open"
check "its second entry is Exit" test "$exit_label" = "E_xit"

# --- The panel restarts (plasmashell or GNOME Shell restarting).
stop_sni_panel
check "the panel stops" wait_for 10 bash -c "! gdbus call --session --dest $WATCHER --object-path /StatusNotifierWatcher --method org.freedesktop.DBus.Peer.Ping >/dev/null 2>&1"
# Its watcher first, its host a moment later, as a desktop brings them up.
check "the panel starts again" start_sni_panel 1
check "the item is registered again" wait_for 20 item_is_ours
check "the form stays open meanwhile" one_form

# --- Exit through the exported menu, the form still open.
read -r s p < <(sni_item)
gdbus call --session --timeout 2 --dest "$s" --object-path "$menu_path" \
  --method com.canonical.dbusmenu.Event "$exit_id" clicked '<int32 0>' 0 >/dev/null
check "Exit through the menu ends the program" wait_for 20 process_gone "$QV_PID"
code=running
if process_gone "$QV_PID"; then wait "$QV_PID"; code=$?; else kill "$QV_PID"; wait "$QV_PID" 2>/dev/null; fi
check "with exit code 0" test "$code" = 0
QV_PID=

# --- The panel comes up after the program, as at a log-in.
stop_sni_panel
start_quorvane
sleep 2
check "a panel started two seconds after the program starts" start_sni_panel
check "the item is registered then" wait_for 20 item_is_ours
check "Activate is answered within a second" activate_answers_within_a_second
check "and opens the form" wait_for 10 one_form
kill "$QV_PID"; wait "$QV_PID" 2>/dev/null; QV_PID=
