#!/usr/bin/env bash
# Remakes the pictures in docs/ from the real program: builds it, runs the
# demonstration on a virtual display of its own (whatever display this
# machine has) and keeps the form, Setup, the sign-in dialog and the
# "Message Sent" notice.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc)"

shots="$(mktemp -d "${TMPDIR:-/tmp}/quorvane-screenshots.XXXXXX")"
trap 'rm -rf "$shots"' EXIT
scripts/demo.sh build/release/bin/quorvane "$shots" >/dev/null

mkdir -p docs
for name in form setup signin notice desktop; do
  # -strip: no time stamps or other metadata in pictures kept in git.
  convert "$shots/$name.png" -strip "docs/$name.png"
done
echo "screenshots: docs/form.png docs/setup.png docs/signin.png docs/notice.png docs/desktop.png"
