#!/usr/bin/env bash
# Installs what is missing, builds Quorvane and runs it. On a machine with no
# display it shows what the program is for instead: one message taken and
# delivered on a virtual display (scripts/demo.sh), ending by itself.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc)"
program=build/release/bin/quorvane

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no display here, so here is Quorvane taking one message on a virtual display."
  exec scripts/demo.sh "$program"
fi
exec "$program"
