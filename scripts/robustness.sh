#!/usr/bin/env bash
# The long robustness campaign, run by hand: mutated installers, ZIP archives
# and language files through the program's own code under Wine, each case
# watched for crashes, hangs and broken promises.
#   bash scripts/robustness.sh [COUNT] [SEED]     default 10000 cases each, seed 20261207
# Inputs of failed cases are saved in build/mingw/robustness-failures.
set -euo pipefail
export LC_ALL=C
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
count=${1:-10000}
seed=${2:-20261207}
case $count in ''|*[!0-9]*) echo "usage: bash scripts/robustness.sh [COUNT] [SEED]" >&2; exit 2 ;; esac

bash scripts/setup.sh >/dev/null
cmake --preset native >/dev/null && cmake --build --preset native --target kxpack >/dev/null
cmake --preset mingw >/dev/null && cmake --build --preset mingw --target robustness_campaign sample_installer >/dev/null

session="$top/build/mingw/robustness-session"
harness="$top/tests/harness/session.sh"
failures="$top/build/mingw/robustness-failures"
"$harness" start "$session" >/dev/null
trap '"$harness" stop "$session"' EXIT
status=0
for target in package zip language; do
  "$harness" run "$session" "$top/build/mingw/bin/robustness_campaign.exe" "$target" "$count" --seed "$seed" \
    --base "Z:$top/build/mingw/bin/kestrel-setup.exe" --failures "Z:$failures" | tr -d '\r' || status=1
done
exit $status
