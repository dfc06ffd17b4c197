#!/usr/bin/env bash
# The benchmarks: builds what they need and runs them under Wine, in a
# session of their own, printing one table each, for every edition of
# setup.exe this machine runs: the 32-bit one where 32-bit programs run
# (scripts/editions.sh has the probe), the 64-bit one everywhere. The NSIS
# peer is a 32-bit program: where those cannot run, the comparison with it
# is not made, and the tables say so.
#   bash bench/run.sh                  all, with a 120 MB payload
#   bash bench/run.sh extract 120      one benchmark, with its argument
set -euo pipefail
export LC_ALL=C
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
# shellcheck source=../scripts/editions.sh
source scripts/editions.sh

build() { # preset, targets...: quiet unless it fails
  local log
  log=$(cmake --build --preset "$@" 2>&1) || { echo "$log" >&2; exit 1; }
}
bash scripts/setup.sh >/dev/null
presets=()
if kx_can_run_32bit; then
  presets+=(mingw)
  nsis_runs=1
else
  nsis_runs=
  nsis_missing="NSIS installers are 32-bit programs: $KX_NO_32BIT_REASON"
fi
presets+=(mingw64)
cmake --preset native >/dev/null
build native --target kxpack make_payload
for preset in "${presets[@]}"; do
  cmake --preset "$preset" >/dev/null
  build "$preset" --target setup sample_installer descramble_bench extract_bench install_bench load_bench \
    end_to_end_bench trivial
done

harness="$top/tests/harness/session.sh"
# use_edition PRESET: the folders and the Wine session of one edition; the
# session of the one before is stopped.
session=
use_edition() {
  [ -z "$session" ] || "$harness" stop "$session"
  case $1 in
    mingw) edition="32-bit" arch=win32 ;;
    mingw64) edition="64-bit" arch=win64 ;;
  esac
  bin="$top/build/$1/bin"
  sample="$top/build/$1/sample"
  key="$top/build/$1/keys/dev/package-key.pem"
  work="$top/build/$1/bench-work"
  session="$top/build/$1/bench-session"
  mkdir -p "$work"
  "$harness" start "$session" "$arch" >/dev/null
}
trap '[ -z "$session" ] || "$harness" stop "$session"' EXIT
# Wine's console ends lines with CR LF.
wine_run() { "$harness" run "$session" "$@" | tr -d '\r'; }
winepath_of() { echo "Z:$(echo "$1" | tr / '\\')"; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
megabytes() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.1f", b / 1048576 }'; }
# The generated payload (deterministic: bench/MakePayload.cpp), its ZIP, and
# the full product folder: the payload, the sample's files and its terminal.
payload() { # MB -> sets dir
  dir="$work/payload-$1"
  if [ ! -f "$dir/payload.zip" ]; then
    "$top/build/native/bin/make_payload" "$dir" "$1" >&2
  fi
  # Built again whenever the stub changed.
  if [ ! -f "$dir/full-setup.exe" ] || [ "$bin/setup.exe" -nt "$dir/full-setup.exe" ]; then
    rm -rf "$dir/full"
    cp -r "$dir/program" "$dir/full"
    cp -r "$top/examples/sample/program/." "$dir/full/"
    cp "$sample/terminal.exe" "$dir/full/"
    "$top/build/native/bin/kxpack" build --stub "$bin/setup.exe" --key "$key" --product "$top/examples/sample" \
      --program "$dir/full" --output "$dir/full-setup.exe" 2>/dev/null
  fi
}

bench_descramble() { wine_run "$bin/descramble_bench.exe"; }

bench_load() { wine_run "$bin/load_bench.exe" "$@"; }

# ExtractSetupArchive against native `unzip -q` of the same archive, taking
# turns; the page cache is flushed before each run, so that neither pays for
# the other's writes.
bench_extract() {
  local size=${1:-120} runs=5
  payload "$size"
  # The terminal, shortcut 1's program, comes as the custom files.
  mkdir -p "$dir/terminal" && cp "$sample/terminal.exe" "$dir/terminal/"
  "$top/build/native/bin/kxpack" build --stub "$bin/setup.exe" --key "$key" --product "$top/examples/sample" \
    --program "$dir/payload.zip" --custom "$dir/terminal" --output "$dir/payload-setup.exe" 2>/dev/null
  local ours=() theirs=() bytes files seconds start end
  for _ in $(seq "$runs"); do
    sync
    read -r seconds bytes files < <(wine_run "$bin/extract_bench.exe" "$(winepath_of "$dir/payload-setup.exe")" 1)
    ours+=("$seconds")
    rm -rf "$dir/unzipped"
    sync
    start=$(date +%s.%N)
    unzip -q "$dir/payload.zip" -d "$dir/unzipped"
    end=$(date +%s.%N)
    theirs+=("$(echo "$end - $start" | bc -l)")
  done
  rm -rf "$dir/unzipped"
  ours=$(printf '%s\n' "${ours[@]}" | median)
  theirs=$(printf '%s\n' "${theirs[@]}" | median)
  echo "Extraction of a $size MB payload ($files files, archive $(megabytes "$dir/payload.zip") MB; median of $runs runs)"
  printf '%-34s %10s %10s %10s\n' "" "seconds" "MB/s" "vs unzip"
  awk -v o="$ours" -v t="$theirs" -v b="$bytes" 'BEGIN {
    mb = b / 1048576
    printf "%-34s %10.3f %10.0f %9.2fx\n", "ExtractSetupArchive (Wine)", o, mb / o, t / o
    printf "%-34s %10.3f %10.0f %9.2fx\n", "unzip -q (native)", t, mb / t, 1
  }'
}

# The worker's steps, for the sample product and for the payload.
bench_install() {
  local size=${1:-120} runs=3
  payload "$size"
  echo "A whole installation by the worker (median of $runs runs, seconds)"
  printf '%-20s %14s %14s\n' "step" "sample" "$size MB payload"
  # One after the other: both install into the same folder.
  wine_run "$bin/install_bench.exe" "$(winepath_of "$bin/kestrel-setup.exe")" "$runs" >"$dir/install-sample.tsv"
  wine_run "$bin/install_bench.exe" "$(winepath_of "$dir/full-setup.exe")" "$runs" >"$dir/install-payload.tsv"
  paste "$dir/install-sample.tsv" <(cut -f2 "$dir/install-payload.tsv") |
    awk -F'\t' '{ printf "%-20s %14.3f %14.3f\n", $1, $2, $3 }'
}

# Driven through the wizard against NSIS installers of the same files.
bench_endtoend() {
  local size=${1:-120} runs=5
  payload "$size"
  local nsis="$work/nsis-$size"
  if [ -n "$nsis_runs" ]; then
    mkdir -p "$nsis"
    if [ ! -f "$nsis/lzma-setup.exe" ]; then
      makensis -V1 -DPAYLOAD="$dir/full" -DCOMPRESSOR=zlib -DOUTFILE="$nsis/zlib-setup.exe" "$top/bench/payload.nsi"
      makensis -V1 -DPAYLOAD="$dir/full" "-DCOMPRESSOR=/SOLID lzma" -DOUTFILE="$nsis/lzma-setup.exe" \
        "$top/bench/payload.nsi"
    fi
    # The stub overheads: an installer of nothing but one empty file.
    mkdir -p "$nsis/empty" && : >"$nsis/empty/terminal.exe"
    makensis -V1 -DPAYLOAD="$nsis/empty" -DCOMPRESSOR=zlib -DOUTFILE="$nsis/empty-setup.exe" "$top/bench/payload.nsi"
  fi
  local folder='C:\Program Files\Kestrel Trader NSIS'
  # Taking turns, each after a flush of the page cache.
  local rows=() ourInstall ourExit ourUninstall ourRemoved zlibInstall zlibUninstall lzmaInstall lzmaUninstall
  for _ in $(seq "$runs"); do
    sync
    rows+=("ours $(wine_run "$bin/end_to_end_bench.exe" ours "$(winepath_of "$dir/full-setup.exe")" 1)")
    [ -n "$nsis_runs" ] || continue
    sync
    rows+=("zlib $(wine_run "$bin/end_to_end_bench.exe" nsis "$(winepath_of "$nsis/zlib-setup.exe")" "$folder" 1)")
    sync
    rows+=("lzma $(wine_run "$bin/end_to_end_bench.exe" nsis "$(winepath_of "$nsis/lzma-setup.exe")" "$folder" 1)")
  done
  field() { printf '%s\n' "${rows[@]}" | awk -v k="$1" -v f="$2" '$1 == k { print $f }' | median; }
  ourInstall=$(field ours 2) ourExit=$(field ours 3) ourUninstall=$(field ours 4) ourRemoved=$(field ours 5)
  local stub
  stub=$(stat -c %s "$bin/setup.exe")
  echo "End to end with a $size MB payload (median of $runs runs, seconds; ours driven through the wizard)"
  if [ -z "$nsis_runs" ]; then
    printf '%-26s %12s %12s %12s\n' "" "install" "uninstall" "installer MB"
    printf '%-26s %12.3f %12.3f %12s\n' "kxsetup (to Finish)" "$ourInstall" "$ourUninstall" \
      "$(megabytes "$dir/full-setup.exe")"
    printf '%-26s %12.3f %12.3f %12s\n' "kxsetup (to exit/removed)" "$ourExit" "$ourRemoved" ""
    echo "No comparison with NSIS: $nsis_missing"
    echo "Stub: kxsetup setup.exe $stub bytes"
    return
  fi
  zlibInstall=$(field zlib 2) zlibUninstall=$(field zlib 3)
  lzmaInstall=$(field lzma 2) lzmaUninstall=$(field lzma 3)
  printf '%-26s %12s %12s %12s %12s\n' "" "install" "vs NSIS zlib" "uninstall" "installer MB"
  printf '%-26s %12.3f %11.2fx %12.3f %12s\n' "kxsetup (to Finish)" "$ourInstall" \
    "$(echo "$zlibInstall / $ourInstall" | bc -l)" "$ourUninstall" "$(megabytes "$dir/full-setup.exe")"
  printf '%-26s %12.3f %12s %12.3f %12s\n' "kxsetup (to exit/removed)" "$ourExit" "" "$ourRemoved" ""
  printf '%-26s %12.3f %11.2fx %12.3f %12s\n' "NSIS zlib (/S)" "$zlibInstall" 1 "$zlibUninstall" \
    "$(megabytes "$nsis/zlib-setup.exe")"
  printf '%-26s %12.3f %11.2fx %12.3f %12s\n' "NSIS lzma solid (/S)" "$lzmaInstall" \
    "$(echo "$zlibInstall / $lzmaInstall" | bc -l)" "$lzmaUninstall" "$(megabytes "$nsis/lzma-setup.exe")"
  echo "Stub overhead: kxsetup setup.exe $stub bytes; NSIS, an installer of one empty file: $(stat -c %s "$nsis/empty-setup.exe") bytes"
}

# Process start to the welcome page, against a trivial program's whole run.
bench_startup() {
  local size=${1:-120} runs=5
  payload "$size"
  read -r shown trivial < <(wine_run "$bin/end_to_end_bench.exe" startup "$(winepath_of "$dir/full-setup.exe")" \
    "$(winepath_of "$bin/trivial.exe")" "$runs")
  echo "Start-up with the $(megabytes "$dir/full-setup.exe") MB installer (median of $runs runs, seconds)"
  printf '%-40s %10.3f\n' "start to welcome page shown" "$shown"
  printf '%-40s %10.3f\n' "a trivial program (start to exit)" "$trivial"
  printf '%-40s %10.3f\n' "beyond the trivial program" "$(echo "$shown - $trivial" | bc -l)"
}

# Every benchmark, or the one named, for each edition that runs here.
if [ $# -gt 0 ]; then
  names=("$1")
  shift
else
  names=(descramble load extract install endtoend startup)
  echo "kxsetup benchmarks, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(/usr/lib/wine/wine64 --version)"
fi
[ -n "$nsis_runs" ] || echo "The 32-bit edition is not measured here: $KX_NO_32BIT_REASON"
for preset in "${presets[@]}"; do
  use_edition "$preset"
  for name in "${names[@]}"; do
    echo
    echo "[$edition edition]"
    "bench_$name" "$@"
  done
done
