#!/bin/bash
# The layers point one way. Fails, naming the line, when a file under src/
# includes a header of ours from a folder its own folder may not use:
#   app      anything
#   dialogs  dialogs, widgets, message, store
#   form     form, widgets, message, store
#   message  message, store
#   widgets  widgets
#   store    store
#   mail     mail
#   signin   signin, mail, store, widgets
# The generated ProductInfo.h belongs to no layer and may be used anywhere.
set -u
src=${1:-$(dirname "$0")/../src}

declare -A allowed=(
  [app]="app dialogs form message mail store widgets signin"
  [dialogs]="dialogs widgets message store"
  [form]="form widgets message store"
  [message]="message store"
  [widgets]="widgets"
  [store]="store"
  [mail]="mail"
  [signin]="signin mail store widgets"
)

status=0
for folder in "$src"/*/; do
  layer=$(basename "$folder")
  if [[ -z ${allowed[$layer]+set} ]]; then
    echo "src/$layer: a folder this check does not know; give it its place in the layers"
    status=1
    continue
  fi
  while IFS= read -r hit; do
    file=${hit%%:*}
    rest=${hit#*:}
    line=${rest%%:*}
    included=$(sed -E 's/.*#[[:space:]]*include[[:space:]]*"([^"]*)".*/\1/' <<<"$rest")
    [[ $included == */* ]] || continue # a header of the same folder or a generated one
    target=${included%%/*}
    if [[ " ${allowed[$layer]} " != *" $target "* ]]; then
      echo "src/$layer/${file#"$folder"}:$line includes $included: $layer may not use $target"
      status=1
    fi
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$folder")
done
exit $status
