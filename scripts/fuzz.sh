#!/bin/bash
# Builds the in-process fuzzers of tests/fuzz with Debian's clang and runs
# each for a bounded time (FUZZ_SECONDS, 60 by default) on its seed corpus.
# New inputs go to build/fuzz/corpus/<name>, never into the seeds; a crash is
# left as build/fuzz/crash-<name>-* and ends the script with its code.
#   scripts/fuzz.sh                 every fuzzer
#   scripts/fuzz.sh fuzz_records    only those named
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}

# clang and its libFuzzer runtime, when missing.
if ! command -v clang++ >/dev/null || ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get install -y --no-install-recommends clang libclang-rt-14-dev
fi

build=build/fuzz
if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORVANE_FUZZ=ON -DQUORVANE_BUILD_TESTS=OFF -DCMAKE_CXX_COMPILER_LAUNCHER=
fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=($(cd tests/fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//'))
fi
cmake --build "$build" -j2 --target "${targets[@]}"

status=0
for name in "${targets[@]}"; do
  mkdir -p "$build/corpus/$name"
  echo "== $name: ${seconds} s"
  # The sign-in files fuzzer reads through a file; nothing else touches disk.
  if ! QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 "$build/tests/fuzz/$name" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/crash-$name-" "$build/corpus/$name" "tests/fuzz/corpus/$name" \
      2> "$build/$name.log"; then
    status=1
    echo "$name FAILED: see $build/$name.log"
  fi
  grep -E "stat::number_of_executed_units|cov:" "$build/$name.log" | tail -2 || true
done
exit $status
