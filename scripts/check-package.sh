#!/usr/bin/env bash
# Builds the Debian package and tries it on this machine as a user would:
# apt-get install ./quorvane_*.deb, then /usr/bin/quorvane on a virtual
# display must show its tray icon and find its help in /usr/share/quorvane/;
# finally apt-get remove -y quorvane. It changes the system's packages, so it
# runs as root (or through sudo) and is not one of the tests.
#
#   scripts/check-package.sh
set -euo pipefail
cd "$(dirname "$0")/.."

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)

if dpkg-query -W -f='${Status}' quorvane 2>/dev/null | grep -q 'install ok installed'; then
  echo "check-package: quorvane is installed on this machine already; this check would remove it." >&2
  exit 1
fi

scripts/install-deps.sh
build=build/package
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target package
deb="$(readlink -f "$(ls -t "$build"/quorvane_*.deb | head -n 1)")"
echo "== $deb"
dpkg-deb --field "$deb" Package Version Architecture Depends Recommends
echo "== lintian"
lintian_errors=0
lintian --fail-on none "$deb" | tee "${TMPDIR:-/tmp}/quorvane-lintian.txt"
grep -q '^E: ' "${TMPDIR:-/tmp}/quorvane-lintian.txt" && lintian_errors=1

work="$(mktemp -d "${TMPDIR:-/tmp}/quorvane-package.XXXXXX")"
source scripts/lib/virtual-desktop.sh
source scripts/lib/program-windows.sh
installed=0
qv_pid=
failures=0

cleanup() {
  set +e
  if [ -n "$qv_pid" ]; then kill "$qv_pid" 2>/dev/null; wait "$qv_pid" 2>/dev/null; fi
  stop_virtual_desktop
  if [ "$installed" = 1 ]; then
    echo "== apt-get remove -y quorvane"
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get remove -y -qq quorvane >/dev/null
    check "removing the package takes the program away" test ! -e /usr/bin/quorvane
  fi
  if [ "$failures" -ne 0 ]; then
    echo "check-package: $failures check(s) failed; logs in $work/logs" >&2
    exit 1
  fi
  rm -rf "$work"
  echo "check-package: all checks passed"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

check() { # check "what" command...
  local what="$1"; shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}
form_window() { xdotool search --onlyvisible --name '^Quorvane$' 2>/dev/null | head -n 1; }
has_form() { [ -n "$(form_window)" ]; }
# Alt+H is also the mnemonic of "Email caller a CC of this message", so it
# only moves the focus: click the button, at its place in the 434 x 334 form.
click_help() {
  local WIDTH HEIGHT form
  form="$(form_window)"
  eval "$(xdotool getwindowgeometry --shell "$form" | grep -E '^(WIDTH|HEIGHT)=')"
  xdotool mousemove --window "$form" $((WIDTH * 105 / 868)) $((HEIGHT * 321 / 334)) click 1
}
program_gone() { ! kill -0 "$qv_pid" 2>/dev/null; }

echo "== apt-get install $deb"
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "$deb" >/dev/null
installed=1
check "the package is installed" dpkg-query -W quorvane
check "the program is /usr/bin/quorvane" test -x /usr/bin/quorvane
check "lintian finds no errors in the package" test "$lintian_errors" = 0
check "its desktop entry is in /usr/share/applications" test -f /usr/share/applications/quorvane.desktop
check "and passes desktop-file-validate" desktop-file-validate /usr/share/applications/quorvane.desktop
check "its AppStream metadata passes appstreamcli validate" \
  appstreamcli validate --no-net /usr/share/metainfo/example.lumarc.quorvane.metainfo.xml
check "its manual page is quorvane(1)" bash -c 'man -w quorvane | grep -qx /usr/share/man/man1/quorvane.1.gz'
check "its copyright file is in /usr/share/doc/quorvane" test -f /usr/share/doc/quorvane/copyright
for size in 16 22 24 32 48 64 128; do
  check "its ${size}x${size} icon is in the hicolor theme" test -f "/usr/share/icons/hicolor/${size}x${size}/apps/quorvane.png"
done
check "its scalable icon is in the hicolor theme" test -f /usr/share/icons/hicolor/scalable/apps/quorvane.svg
check "its help is in /usr/share/quorvane" test -f /usr/share/quorvane/quorvane.html
check "every library it needs is there" bash -c '! ldd /usr/bin/quorvane | grep -q "not found"'

# The browser stand-in notes what the program asks it to open.
mkdir -p "$work/bin" "$work/logs" "$work/config" "$work/cache" "$work/runtime"
chmod 700 "$work/runtime"
cat >"$work/bin/xdg-open" <<EOF
#!/bin/sh
printf '%s\n' "\$1" >>"$work/opened"
EOF
chmod +x "$work/bin/xdg-open"

start_virtual_desktop "$work/logs" || { echo "FAIL: no virtual display"; failures=$((failures + 1)); exit 1; }
env -u DBUS_SESSION_BUS_ADDRESS -u WAYLAND_DISPLAY PATH="$work/bin:$PATH" \
  XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/runtime" \
  QT_QPA_PLATFORM=xcb timeout -k 5 300 /usr/bin/quorvane >"$work/logs/quorvane.log" 2>&1 &
qv_pid=$!
check "/usr/bin/quorvane shows its tray icon" wait_for 20 has_tray_icon
if has_tray_icon; then
  xdotool mousemove --window "$(tray_icon_window)" 11 11 click 1
  check "a click on the icon opens the form" wait_for 20 has_form
  sleep 0.5
  click_help
  check "Help opens /usr/share/quorvane/quorvane.html" \
    wait_for 10 grep -qx 'file:///usr/share/quorvane/quorvane.html' "$work/opened"
  xdotool mousemove --window "$(tray_icon_window)" 11 11 click 3
  sleep 1
  xdotool key x
  check "Exit from the tray menu ends it" wait_for 20 program_gone
  code=0
  wait "$qv_pid" 2>/dev/null || code=$?
  qv_pid=
  check "with exit code 0" test "$code" = 0
fi
