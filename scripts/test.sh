#!/usr/bin/env bash
# Installs what is missing, builds Quorvane and runs every test: once in a
# plain build, once under AddressSanitizer and UndefinedBehaviorSanitizer;
# then the threaded parts once more under ThreadSanitizer (scripts/tsan.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
for variant in plain sanitize; do
  dir="build/test-$variant"
  sanitize=OFF
  [ "$variant" = sanitize ] && sanitize=ON
  echo "== $variant build in $dir"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_SANITIZE=$sanitize >/dev/null
  cmake --build "$dir" -j"$jobs"
  echo "== $variant tests"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs"
done

echo "== ThreadSanitizer build and checks"
scripts/tsan.sh
