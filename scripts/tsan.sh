#!/usr/bin/env bash
# Builds the parts that run on more than one thread with ThreadSanitizer and
# runs their checks: the mail delivery suite (a job built on one thread and
# sent from another), the off-thread runner, and the end-to-end send of the
# real program on a virtual display. Fails on any report.
#
#   scripts/tsan.sh
#
# Kept out of scripts/test.sh: a third build of the program and the suites
# would add some ten minutes to every run on two cores for three checks.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >/dev/null

build=build/test-tsan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_TSAN=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target quorvane quorvane_mail test_mail_delivery test_mail_composition test_runoffuithread

# halt_on_error: the first race fails the check instead of scrolling past.
# die_after_fork=0: the tests start their mail server (and the end-to-end
# check its helpers) with QProcess from a program that has threads already;
# the child only execs.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 die_after_fork=0 suppressions=$PWD/tests/tsan.supp ${TSAN_OPTIONS:-}"
cd "$build"
ctest --output-on-failure -R '^(test_mail_delivery|test_mail_composition|test_runoffuithread|e2e_send)$'
