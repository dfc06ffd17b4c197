#!/usr/bin/env bash
# The long robustness campaign, run by hand: mutated installers, ZIP archives
# and language files through the program's own code under Wine, each case
# watched for crashes, hangs and broken promises.
#   bash scripts/robustness.sh [COUNT] [SEED]     default 10000 cases each, seed 20261207
# It runs for each edition this machine runs (scripts/editions.sh). Inputs of
# failed cases are saved in build/<preset>/robustness-failures.
set -euo pipefail
export LC_ALL=C
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
count=${1:-10000}
seed=${2:-20261207}
case $count in ''|*[!0-9]*) echo "usage: bash scripts/robustness.sh [COUNT] [SEED]" >&2; exit 2 ;; esac

# shellcheck source=editions.sh
source scripts/editions.sh
bash scripts/setup.sh >/dev/null
cmake --preset native >/dev/null && cmake --build --preset native --target kxpack >/dev/null
# Every edition this machine runs: the 32-bit one where 32-bit programs run.
presets=()
if kx_can_run_32bit; then
  presets+=(mingw)
else
  echo "the 32-bit edition is not run here: $KX_NO_32BIT_REASON"
fi
presets+=(mingw64)

harness="$top/tests/harness/session.sh"
session=
trap '[ -z "$session" ] || "$harness" stop "$session"' EXIT
status=0
for preset in "${presets[@]}"; do
  arch=win32
  [ "$preset" = mingw ] || arch=win64
  echo "== the ${arch#win}-bit edition (build/$preset)"
  cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" --target robustness_campaign sample_installer >/dev/null
  build="$top/build/$preset"
  [ -z "$session" ] || "$harness" stop "$session"
  session="$build/robustness-session"
  "$harness" start "$session" "$arch" >/dev/null
  for target in package zip language; do
    "$harness" run "$session" "$build/bin/robustness_campaign.exe" "$target" "$count" --seed "$seed" \
      --base "Z:$build/bin/kestrel-setup.exe" --failures "Z:$build/robustness-failures" | tr -d '\r' || status=1
  done
done
exit $status
