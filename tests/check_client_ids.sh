#!/bin/bash
# The client ids a builder gives are checked when the build is configured:
# each bad one stops it with its reason, good ones reach the program as given.
# Usage: check_client_ids.sh SOURCE_DIR WORK_DIR
set -u
src=$1
work=$2
status=0
mkdir -p "$work"

configure() { # configure NAME ARGS...
  local dir="$work/$1"; shift
  rm -rf "$dir"
  cmake -S "$src" -B "$dir" -G Ninja -DQUORVANE_BUILD_TESTS=OFF "$@" >"$dir.log" 2>&1
}

refused() { # refused WHAT EXPECTED ARGS...
  local what=$1 expected=$2; shift 2
  if configure refused "$@"; then
    echo "FAIL: $what was taken"; status=1
  elif ! tr -s ' \n' ' ' <"$work/refused.log" | grep -qF "$expected"; then
    echo "FAIL: $what was refused without saying \"$expected\""; cat "$work/refused.log"; status=1
  else
    echo "ok: $what refused"
  fi
}

refused "a Microsoft id that is no application id" "must be an application id" \
  -DQUORVANE_MICROSOFT_CLIENT_ID=my-app
refused "a Google id of another form" "must end in .apps.googleusercontent.com" \
  -DQUORVANE_GOOGLE_CLIENT_ID='1234"; evil(); "x.apps.googleusercontent.com'
refused "a Google secret with a quote" "may hold only letters" \
  -DQUORVANE_GOOGLE_CLIENT_ID=1234-abc.apps.googleusercontent.com -DQUORVANE_GOOGLE_CLIENT_SECRET='a"b'
refused "a Google secret without its id" "without QUORVANE_GOOGLE_CLIENT_ID" \
  -DQUORVANE_GOOGLE_CLIENT_SECRET=GOCSPX-abc

if configure taken -DQUORVANE_MICROSOFT_CLIENT_ID=0a1b2c3d-0000-4000-8000-123456789abc \
     -DQUORVANE_GOOGLE_CLIENT_ID=1234-abc.apps.googleusercontent.com -DQUORVANE_GOOGLE_CLIENT_SECRET=GOCSPX-a_b-c &&
   grep -qF 'kBuiltInMicrosoftClientId[] = "0a1b2c3d-0000-4000-8000-123456789abc"' "$work/taken/generated/ProductInfo.h" &&
   grep -qF 'kBuiltInGoogleClientId[] = "1234-abc.apps.googleusercontent.com"' "$work/taken/generated/ProductInfo.h" &&
   grep -qF 'kBuiltInGoogleClientSecret[] = "GOCSPX-a_b-c"' "$work/taken/generated/ProductInfo.h"; then
  echo "ok: good ids built in"
else
  echo "FAIL: good ids were not built in"; cat "$work/taken.log"; status=1
fi
rm -rf "$work"
exit $status
