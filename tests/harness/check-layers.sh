#!/usr/bin/env bash
# The setup program's layers, from the bottom up; a file may include only
# headers of its own layer and of the layers below it. This list is the
# one place the order is written (the README says it in words).
#   check-layers.sh SRCDIR   exit 0 when every include points down or sideways
set -euo pipefail
layers=(res base package state archive install uninstall ui app)

src=${1:?usage: check-layers.sh SRCDIR}
rank() { # layer name -> its place, or nothing for what is no layer
  local i
  for i in "${!layers[@]}"; do
    if [ "${layers[$i]}" = "$1" ]; then echo "$i"; return; fi
  done
}

status=0
checked=0
while IFS= read -r -d '' file; do
  relative=${file#"$src"/}
  own=$(rank "${relative%%/*}")
  if [ -z "$own" ]; then
    echo "$relative: in no layer (one of: ${layers[*]})"
    status=1
    continue
  fi
  checked=$((checked + 1))
  # Only includes of the program's own headers, "layer/...".
  while IFS=: read -r line target; do
    layer=${target%%/*}
    there=$(rank "$layer")
    [ -n "$there" ] || continue
    if [ "$there" -gt "$own" ]; then
      echo "$relative:$line: includes \"$target\" from $layer, a layer above ${relative%%/*}"
      status=1
    fi
  done < <(grep -n -o '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]*/[^"]*"' "$file" |
           sed -E 's/^([0-9]+):.*"([^"]*)"$/\1:\2/')
done < <(find "$src" -type f \( -name '*.h' -o -name '*.cpp' \) -print0 | sort -z)

if [ "$status" -eq 0 ]; then
  echo "layers: $checked files, every include points down or sideways (${layers[*]})"
fi
exit "$status"
