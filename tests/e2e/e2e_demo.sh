#!/usr/bin/env bash
# The run command's demonstration on a machine without a display: it ends by
# itself, and its folder holds the screenshots and the message the local
# server received, as the README promises.
source "$(dirname "$0")/lib.sh"

QUORVANE="$1"
E2E_WORK="$(mktemp -d /tmp/quorvane-e2e.XXXXXX)"
finish() {
  echo "$E2E_PASSES passed, $E2E_FAILURES failed"
  if [ "$E2E_FAILURES" -ne 0 ]; then
    echo "output kept in $E2E_WORK"
    exit 1
  fi
  rm -rf "$E2E_WORK"
}
trap finish EXIT

out="$E2E_WORK/demo"
# The time limit only guards against a hang.
env -u DISPLAY -u WAYLAND_DISPLAY timeout -k 10 300 \
  bash "$E2E_DIR/../../scripts/demo.sh" "$QUORVANE" "$out" >"$E2E_WORK/demo.log" 2>&1
code=$?
check "the demonstration ends by itself with success" test "$code" = 0
check "and prints its folder" grep -qxF "Demonstration folder: $out" "$E2E_WORK/demo.log"

eml="$out/message-1.eml"
check "the local server received one message" test -f "$eml" -a ! -e "$out/message-2.eml"
header() { /usr/bin/python3 -c 'import email,email.policy,sys; print(email.message_from_binary_file(open(sys.argv[1],"rb"),policy=email.policy.default)[sys.argv[2]])' "$eml" "$1"; }
check "sent to the ticked recipient, by the name in the table" test "$(header To)" = "Alice Able <alice@example.org>"
check "about the caller that was typed" test "$(header Subject)" = "Message From: Maria Lopez"
check "its HTML page is left beside it" grep -q "Harbour Freight &amp; Co" "$out/message-1.html"
for shot in form setup signin notice desktop; do
  check "a $shot screenshot" bash -c '[ "$(identify -format %w "$1" 2>/dev/null)" -gt 100 ]' _ "$out/$shot.png"
done
check "the form screenshot is the form alone" \
  test "$(identify -format %wx%h "$out/form.png")" != "$(identify -format %wx%h "$out/desktop.png")"
# No process still names the folder: the mail catcher was started with it.
no_process_names() { ! grep -qsaF -- "$1" /proc/[0-9]*/cmdline; }
check "nothing it started is left running" no_process_names "$out"
display="$(sed -n 's/^demo: virtual display :\([0-9]*\) .*/\1/p' "$E2E_WORK/demo.log")"
check "nor its virtual display" test -n "$display" -a ! -e "/tmp/.X$display-lock"
