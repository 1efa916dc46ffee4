#!/usr/bin/env bash
# Installed into a prefix as a packager installs it (cmake --install), the
# program runs from there, shows its tray icon, sends through the mail
# library in <prefix>/lib/quorvane/ (the sign-in library beside it) and opens its help from
# <prefix>/share/quorvane/; the desktop finds its entry and its icons where
# the freedesktop conventions put them.
source "$(dirname "$0")/lib.sh"
e2e_begin "$1"
trap 'stop_smtp_server; e2e_end' EXIT

build="$(cd "$(dirname "$1")/.." && pwd)"
prefix="$E2E_WORK/prefix with space"
install_into() { cmake --install "$build" --prefix "$1" >"$E2E_WORK/logs/install.log"; }
check "cmake --install fills the prefix" install_into "$prefix"

check "the program is in bin/" test -x "$prefix/bin/quorvane"
entry="$prefix/share/applications/quorvane.desktop"
check "the desktop entry is in share/applications/" test -f "$entry"
check "it starts the program by its installed name" grep -qx "Exec=quorvane" "$entry"
check "and names the themed icon" grep -qx "Icon=quorvane" "$entry"
for size in 16 22 24 32 48 64 128; do
  check "a ${size}x${size} icon of that name is in the hicolor theme" \
    bash -c '[ "$(identify -format "%wx%h" "$1")" = "$2x$2" ]' _ \
    "$prefix/share/icons/hicolor/${size}x${size}/apps/quorvane.png" "$size"
done
check "a scalable icon is in the hicolor theme" test -f "$prefix/share/icons/hicolor/scalable/apps/quorvane.svg"
check "the help document is in share/quorvane/" test -f "$prefix/share/quorvane/quorvane.html"
library="$prefix/lib/quorvane/libquorvane-mail.so"
check "the mail library is in lib/quorvane/" test -f "$library"
check "and every library it needs is there" bash -c '! ldd "$1" | grep -q "not found"' _ "$library"
check "the program itself does not load libcurl at start" bash -c '! ldd "$1" | grep -q libcurl' _ "$prefix/bin/quorvane"
signin="$prefix/lib/quorvane/libquorvane-signin.so"
check "the sign-in library is in lib/quorvane/" test -f "$signin"
check "and finds the mail library beside it" \
  bash -c 'ldd "$1" | grep -qF "libquorvane-mail.so => $2"' _ "$signin" "$library"
check "the program does not load the keychain library at start" \
  bash -c '! ldd "$1" | grep -qE "keychain|libsecret"' _ "$prefix/bin/quorvane"

mail="$E2E_WORK/mail"
check "the test mail server starts" start_smtp_server "$mail"
/usr/bin/python3 "$E2E_DIR/../../scripts/lib/write-profile.py" "$XDG_CONFIG_HOME" --port "$SMTP_PORT" \
  --sender-name "Reception Desk" --sender-address "reception@example.org" \
  --recipient "Alice Able=alice@example.org"

# What desktops, software centres and Debian read about the program, checked
# with the tools they read it by.
check "the desktop entry passes desktop-file-validate" desktop-file-validate "$entry"
metainfo="$prefix/share/metainfo/example.lumarc.quorvane.metainfo.xml"
check "the AppStream metadata passes appstreamcli validate" appstreamcli validate --no-net "$metainfo"
check "and launches the desktop entry" grep -qF '<launchable type="desktop-id">quorvane.desktop</launchable>' "$metainfo"
man_renders_cleanly() {
  local warnings
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/quorvane.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "$warnings"; return 1; }
}
check "the manual page quorvane(1) is in share/man/man1/ and renders without warnings" man_renders_cleanly
check "the copyright file is in share/doc/quorvane/" test -s "$prefix/share/doc/quorvane/copyright"
deb_passes_lintian() {
  mkdir -p "$E2E_WORK/package"
  (cd "$E2E_WORK/package" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$E2E_WORK/package") \
    >"$E2E_WORK/logs/cpack.log" 2>&1 || return 1
  lintian --fail-on none "$E2E_WORK"/package/quorvane_*.deb >"$E2E_WORK/logs/lintian.log" 2>&1
  cat "$E2E_WORK/logs/lintian.log"
  ! grep -q '^E: ' "$E2E_WORK/logs/lintian.log"
}
check "the Debian package passes lintian without errors" deb_passes_lintian
deb_field() { dpkg-deb --field "$E2E_WORK"/package/quorvane_*.deb "$1"; }
check "it depends on the keychain library and libsecret, which that opens" \
  bash -c 'grep -q libqt6keychain1 <<<"$1" && grep -q "libsecret-1-0" <<<"$1"' _ "$(deb_field Depends)"
check "and recommends a desktop keyring" bash -c 'grep -qF "gnome-keyring | kwalletmanager" <<<"$1"' _ "$(deb_field Recommends)"

# The browser stand-in notes what the program asks it to open.
mkdir -p "$E2E_WORK/bin"
cat >"$E2E_WORK/bin/xdg-open" <<EOF
#!/bin/sh
printf '%s\n' "\$1" >>"$E2E_WORK/opened"
EOF
chmod +x "$E2E_WORK/bin/xdg-open"
export PATH="$E2E_WORK/bin:$PATH"

QUORVANE="$prefix/bin/quorvane"
start_quorvane
check "the installed program shows its tray icon" wait_for 20 has_tray_icon
xdotool mousemove --window "$(tray_icon_window)" 11 11 click 1
check "a click on it opens the form" wait_for 20 has_window_named Quorvane
sleep 0.5
# A name, then Tab past the message, the phrases and Close to the recipient.
xdotool type --delay 20 "Jane Caller"
for i in $(seq 1 16); do xdotool key Tab; done
xdotool key space alt+s
check "a send from the installed program reaches the server" wait_for 30 test -f "$mail/message-1.json"
# Alt+H is also the mnemonic of "Email caller a CC of this message", so it
# only moves the focus: click the button, at its place in the 434 x 334 form.
form="$(window_named Quorvane)"
eval "$(xdotool getwindowgeometry --shell "$form" | grep -E '^(WIDTH|HEIGHT)=')"
xdotool mousemove --window "$form" $((WIDTH * 105 / 868)) $((HEIGHT * 321 / 334)) click 1
expected="$(/usr/bin/python3 -c 'import pathlib,sys; print(pathlib.Path(sys.argv[1]).as_uri())' \
  "$prefix/share/quorvane/quorvane.html")"
check "Help opens the document in the prefix" wait_for 10 grep -qxF "$expected" "$E2E_WORK/opened"
