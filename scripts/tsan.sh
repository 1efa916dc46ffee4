#!/usr/bin/env bash
# Builds the parts that run on more than one thread with ThreadSanitizer and
# runs their checks: the mail suites (a job built on one thread and sent from
# another, over SMTP or to a mail service's API, an attachment encoded on a
# thread of its own), the off-thread runner, the signed-in sends (an access
# token refreshed on the sending thread), and the end-to-end send of the real
# program on a virtual display.
# Fails on any report. scripts/test.sh runs it last.
#
#   scripts/tsan.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >/dev/null

checks=(test_mail_delivery test_mail_composition test_mail_api test_runoffuithread test_signin_smtp test_signin_send)
build=build/test-tsan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_TSAN=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target quorvane quorvane_mail quorvane_signin "${checks[@]}"

# halt_on_error: the first race fails the check instead of scrolling past.
# die_after_fork=0: the tests start their servers (and the end-to-end check
# its helpers) with QProcess from a program that has threads already; the
# child only execs.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 die_after_fork=0 suppressions=$PWD/tests/tsan.supp ${TSAN_OPTIONS:-}"
cd "$build"
pattern="^($(IFS='|'; echo "${checks[*]}")|e2e_send)\$"
ctest --output-on-failure -R "$pattern"
