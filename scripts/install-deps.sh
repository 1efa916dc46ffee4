#!/usr/bin/env bash
# Installs what building, running and testing Quorvane needs on Debian 12, and
# nothing that is already there. Safe to run again and again.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libcurl4-openssl-dev libssl-dev libsqlite3-dev
  ca-certificates openssl
  python3 python3-aiosmtpd
  xvfb tint2 xdotool x11-utils imagemagick fonts-dejavu-core
  dpkg-dev file
  # tests/e2e/e2e_accessibility.sh: the accessibility bus, a private session
  # bus to run it on, and the Python client screen readers are built on
  at-spi2-core python3-pyatspi python3-gi
  # what a desktop and Debian read about the program, checked as they read it
  desktop-file-utils appstream lintian man-db
  # the X tray watch builds against xcb
  libxcb1-dev
  # tests/e2e/e2e_sni.sh: a D-Bus panel (StatusNotifierItem watcher and
  # host) on a private session bus, spoken to with gdbus
  dbus-daemon libglib2.0-bin haskell-status-notifier-item-utils haskell-gtk-sni-tray-utils
  # scripts/benchmark.sh: the curl tool it compares against, the X
  # extensions its probe watches paints and sends clicks with, the counter of
  # instructions, and a tray host that keeps every icon over many launches
  curl libxdamage-dev libxtst-dev valgrind trayer
  # Sign-in: the keychain library (it loads libsecret at run time), and for
  # the tests a desktop keyring on a private session bus
  qtkeychain-qt6-dev libsecret-1-0 gnome-keyring libsecret-tools dbus-bin
  # tests/e2e/e2e_notice.sh: a window manager that manages and focuses every
  # new window, and a compositing manager that shows the strip's translucency
  ratpoison xcompmgr
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is installed already"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
