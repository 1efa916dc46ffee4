#!/usr/bin/env bash
# Installs what is missing, builds Quorvane and runs it. On a machine with no
# display it first starts a virtual one with a notification area.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  source scripts/lib/virtual-desktop.sh
  trap stop_virtual_desktop EXIT
  start_virtual_desktop build/release/virtual-desktop
  echo "run: no display here, so Quorvane runs on a virtual X display ($DISPLAY) with a tray (tint2)."
  echo "run: its tray icon sits in the panel at the bottom of that display; stop it with Ctrl+C."
fi
exec_status=0
build/release/quorvane || exec_status=$?
exit $exec_status
