#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine, in a session of their own.
#   bash bench/run.sh            all benchmarks
#   bash bench/run.sh load 120   one benchmark, with its arguments
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"

cmake --build --preset native >/dev/null
cmake --build --preset mingw --target descramble_bench load_bench >/dev/null

session="$top/build/mingw/bench-session"
harness="$top/tests/harness/session.sh"
"$harness" start "$session" >/dev/null
trap '"$harness" stop "$session"' EXIT

run() { # name, arguments
  local name=$1
  shift
  echo
  "$harness" run "$session" "$top/build/mingw/bin/${name}_bench.exe" "$@"
}

if [ $# -gt 0 ]; then
  run "$@"
else
  run descramble
  run load
fi
