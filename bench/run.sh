#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine, in a session of their own.
#   bash bench/run.sh              all benchmarks
#   bash bench/run.sh extract 100  one benchmark, with its arguments
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"

build() { # preset, targets...: quiet unless it fails
  local log
  log=$(cmake --build --preset "$@" 2>&1) || { echo "$log" >&2; exit 1; }
}
build native --target kxpack make_payload
build mingw --target setup sample_installer descramble_bench extract_bench install_bench load_bench

bin="$top/build/mingw/bin"
work="$top/build/mingw/bench-work"
session="$top/build/mingw/bench-session"
harness="$top/tests/harness/session.sh"
mkdir -p "$work"
"$harness" start "$session" >/dev/null
trap '"$harness" stop "$session"' EXIT
wine_run() { "$harness" run "$session" "$@"; }

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

bench_descramble() { wine_run "$bin/descramble_bench.exe"; }
bench_load() { wine_run "$bin/load_bench.exe" "$@"; }

# ExtractSetupArchive of a generated payload against native `unzip -q` of the
# same archive, both writing into a fresh folder.
bench_extract() {
  local megabytes=${1:-100} runs=5
  local dir="$work/payload-$megabytes"
  if [ ! -f "$dir/payload.zip" ]; then
    "$top/build/native/bin/make_payload" "$dir" "$megabytes"
  fi
  "$top/build/native/bin/kxpack" build --stub "$bin/setup.exe" --key "$top/build/mingw/keys/dev/package-key.pem" \
    --product "$top/examples/sample" --program "$dir/payload.zip" --output "$dir/payload-setup.exe" 2>/dev/null
  read -r ours bytes files < <(wine_run "$bin/extract_bench.exe" "$(winepath_of "$dir/payload-setup.exe")" "$runs")
  local unzip_times=()
  for _ in $(seq "$runs"); do
    rm -rf "$dir/unzipped"
    local start end
    start=$(date +%s.%N)
    unzip -q "$dir/payload.zip" -d "$dir/unzipped"
    end=$(date +%s.%N)
    unzip_times+=("$(echo "$end - $start" | bc -l)")
  done
  rm -rf "$dir/unzipped"
  local theirs
  theirs=$(printf '%s\n' "${unzip_times[@]}" | median)
  echo "Extraction of a $megabytes MB payload ($files files; median of $runs runs)"
  printf '%-34s %10s %10s %10s\n' "" "seconds" "MB/s" "vs unzip"
  awk -v o="$ours" -v t="$theirs" -v b="$bytes" 'BEGIN {
    mb = b / 1048576
    printf "%-34s %10.3f %10.0f %9.2fx\n", "ExtractSetupArchive (Wine)", o, mb / o, t / o
    printf "%-34s %10.3f %10.0f %9.2fx\n", "unzip -q (native)", t, mb / t, 1
  }'
}

# A whole installation by the worker, step by step: the sample product, and
# a payload of the given size with the sample's terminal and manual added.
bench_install() {
  local megabytes=${1:-100} runs=3
  local dir="$work/payload-$megabytes"
  if [ ! -f "$dir/payload.zip" ]; then
    "$top/build/native/bin/make_payload" "$dir" "$megabytes"
  fi
  rm -rf "$dir/full"
  cp -r "$dir/program" "$dir/full"
  cp -r "$top/examples/sample/program/." "$dir/full/"
  cp "$top/build/mingw/sample/terminal.exe" "$dir/full/"
  "$top/build/native/bin/kxpack" build --stub "$bin/setup.exe" --key "$top/build/mingw/keys/dev/package-key.pem" \
    --product "$top/examples/sample" --program "$dir/full" --output "$dir/full-setup.exe" 2>/dev/null
  echo "A whole installation by the worker (median of $runs runs, seconds)"
  printf '%-20s %14s %14s\n' "step" "sample" "$megabytes MB payload"
  # One after the other: both install into the same folder.
  wine_run "$bin/install_bench.exe" "$(winepath_of "$bin/kestrel-setup.exe")" "$runs" >"$dir/install-sample.tsv"
  wine_run "$bin/install_bench.exe" "$(winepath_of "$dir/full-setup.exe")" "$runs" >"$dir/install-payload.tsv"
  paste "$dir/install-sample.tsv" <(cut -f2 "$dir/install-payload.tsv") |
    awk -F'\t' '{ printf "%-20s %14.3f %14.3f\n", $1, $2, $3 }'
}

winepath_of() { echo "Z:$(echo "$1" | tr / '\\')"; }

if [ $# -gt 0 ]; then
  name=$1
  shift
  echo
  "bench_$name" "$@"
else
  for name in descramble load extract install; do
    echo
    "bench_$name"
  done
fi
