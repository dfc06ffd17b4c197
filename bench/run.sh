#!/usr/bin/env bash
# The benchmarks: builds what they need and runs them under Wine, in a
# session of their own, printing one table each, for every edition of
# setup.exe this machine runs: the 32-bit one where 32-bit programs run
# (scripts/editions.sh has the probe), the 64-bit one everywhere. The NSIS
# peer is a 32-bit program: where those cannot run, the comparison with it
# is not made, and the tables say so. At the end, one table holds every
# goal and what each edition reached.
#   bash bench/run.sh                  all, with a 120 MB payload, and the products at the limits
#   bash bench/run.sh extract 120      one benchmark, with its argument
#
# The Wine sessions and the payloads live in memory (KX_BENCH_DIR, by
# default a folder of /dev/shm when that is a tmpfs with room): the file
# systems of these machines have no journal, and ext4 without one skips the
# inodes freed in the last minutes when it makes a file, so that making
# files after a benchmark's deletions costs far more than either, whatever
# the installer, and the figures wander with what ran before. The products
# at the limits (3.5 GiB, 70,000 files) are made on disk, in build/bench.
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
build native --target kxpack make_payload installer_archive
for preset in "${presets[@]}"; do
  cmake --preset "$preset" >/dev/null
  build "$preset" --target setup sample_installer descramble_bench extract_bench install_bench load_bench \
    end_to_end_bench trivial
done

if [ -z "${KX_BENCH_DIR:-}" ]; then
  if [ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ] &&
     [ "$(df -Pk /dev/shm | awk 'NR == 2 { print $4 }')" -gt $((8 * 1024 * 1024)) ]; then
    KX_BENCH_DIR=/dev/shm/kxsetup-bench
  else
    KX_BENCH_DIR=$top/build/bench
  fi
fi
mkdir -p "$KX_BENCH_DIR"
products="$top/build/bench/products"
mkdir -p "$products"
native="$top/build/native/bin"

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
  key_edition=${edition%-bit}
  bin="$top/build/$1/bin"
  sample="$top/build/$1/sample"
  key="$top/build/$1/keys/dev/package-key.pem"
  work="$KX_BENCH_DIR/$1/work"
  session="$KX_BENCH_DIR/$1/session"
  mkdir -p "$work"
  "$harness" start "$session" "$arch" >/dev/null
}
trap '[ -z "$session" ] || "$harness" stop "$session"' EXIT
# Wine's console ends lines with CR LF.
wine_run() { "$harness" run "$session" "$@" | tr -d '\r'; }
winepath_of() { echo "Z:$(echo "$1" | tr / '\\')"; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
megabytes() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.1f", b / 1048576 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
# Results for the table of goals: result NAME VALUE, per edition.
declare -A results
result() { results["$key_edition:$1"]=$2; }

# The generated payload (deterministic: bench/MakePayload.cpp), its ZIP, and
# the full product folder: the payload, the sample's files and its terminal.
payload() { # MB -> sets dir
  dir="$work/payload-$1"
  if [ ! -f "$dir/payload.zip" ]; then
    "$native/make_payload" "$dir" "$1" >&2
  fi
  # Built again whenever the stub changed.
  if [ ! -f "$dir/full-setup.exe" ] || [ "$bin/setup.exe" -nt "$dir/full-setup.exe" ]; then
    rm -rf "$dir/full"
    cp -r "$dir/program" "$dir/full"
    cp -r "$top/examples/sample/program/." "$dir/full/"
    cp "$sample/terminal.exe" "$dir/full/"
    "$native/kxpack" build --stub "$bin/setup.exe" --key "$key" --product "$top/examples/sample" \
      --program "$dir/full" --output "$dir/full-setup.exe" 2>/dev/null
  fi
}

bench_descramble() { wine_run "$bin/descramble_bench.exe"; }

bench_load() { wine_run "$bin/load_bench.exe" "$@"; }

# ExtractSetupArchive against native `unzip -q` of the same archive, taking
# turns, each into a fresh folder.
bench_extract() {
  local size=${1:-120} runs=5
  payload "$size"
  # The terminal, shortcut 1's program, comes as the custom files.
  mkdir -p "$dir/terminal" && cp "$sample/terminal.exe" "$dir/terminal/"
  "$native/kxpack" build --stub "$bin/setup.exe" --key "$key" --product "$top/examples/sample" \
    --program "$dir/payload.zip" --custom "$dir/terminal" --output "$dir/payload-setup.exe" 2>/dev/null
  local ours=() theirs=() peaks=() bytes files seconds peak start end run
  rm -rf "$work/extracted" "$work/unzipped"
  mkdir -p "$work/extracted" "$work/unzipped"
  # One run first that is not counted: it finds Wine and the files cold.
  wine_run "$bin/extract_bench.exe" "$(winepath_of "$dir/payload-setup.exe")" 1 "$(winepath_of "$work/extracted/0")" >/dev/null
  for run in $(seq "$runs"); do
    read -r seconds bytes files peak < <(wine_run "$bin/extract_bench.exe" "$(winepath_of "$dir/payload-setup.exe")" 1 \
      "$(winepath_of "$work/extracted/$run")")
    ours+=("$seconds")
    peaks+=("$peak")
    start=$(date +%s.%N)
    unzip -q "$dir/payload.zip" -d "$work/unzipped/$run"
    end=$(date +%s.%N)
    theirs+=("$(echo "$end - $start" | bc -l)")
  done
  rm -rf "$work/extracted" "$work/unzipped"
  ours=$(printf '%s\n' "${ours[@]}" | median)
  theirs=$(printf '%s\n' "${theirs[@]}" | median)
  peak=$(printf '%s\n' "${peaks[@]}" | median)
  echo "Extraction of a $size MB payload ($files files, archive $(megabytes "$dir/payload.zip") MB; median of $runs runs)"
  printf '%-34s %10s %10s %10s %10s\n' "" "seconds" "MB/s" "vs unzip" "peak MB"
  awk -v o="$ours" -v t="$theirs" -v b="$bytes" -v p="$peak" 'BEGIN {
    mb = b / 1048576
    printf "%-34s %10.3f %10.0f %9.2fx %10.1f\n", "ExtractSetupArchive (Wine)", o, mb / o, t / o, p
    printf "%-34s %10.3f %10.0f %9.2fx\n", "unzip -q (native)", t, mb / t, 1
  }'
  result extract_vs_unzip "$(ratio "$theirs" "$ours")x"
}

# The engine's steps, for the sample product and for the payload.
bench_install() {
  local size=${1:-120} runs=3
  payload "$size"
  echo "A whole installation by the engine (median of $runs runs, seconds)"
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
  # Taking turns.
  local rows=()
  for _ in $(seq "$runs"); do
    rows+=("ours $(wine_run "$bin/end_to_end_bench.exe" ours "$(winepath_of "$dir/full-setup.exe")" 1)")
    [ -n "$nsis_runs" ] || continue
    rows+=("zlib $(wine_run "$bin/end_to_end_bench.exe" nsis "$(winepath_of "$nsis/zlib-setup.exe")" "$folder" 1)")
    rows+=("lzma $(wine_run "$bin/end_to_end_bench.exe" nsis "$(winepath_of "$nsis/lzma-setup.exe")" "$folder" 1)")
  done
  field() { printf '%s\n' "${rows[@]}" | awk -v k="$1" -v f="$2" '$1 == k { print $f }' | median; }
  local install click toExit uninstall removed peak unpeak
  install=$(field ours 2) click=$(field ours 3) toExit=$(field ours 4) uninstall=$(field ours 5)
  removed=$(field ours 6) peak=$(field ours 7) unpeak=$(field ours 8)
  local stub
  stub=$(stat -c %s "$bin/setup.exe")
  result peak_memory "$peak MB"
  result stub "$stub B"
  echo "End to end with a $size MB payload (median of $runs runs, seconds; ours driven through the wizard)"
  printf '%-30s %10s %10s %10s %10s %12s\n' "" "install" "vs NSIS" "uninstall" "vs NSIS" "installer MB"
  if [ -z "$nsis_runs" ]; then
    printf '%-30s %10.3f %10s %10.3f %10s %12s\n' "kxsetup (start to Finish)" "$install" "" "$uninstall" "" \
      "$(megabytes "$dir/full-setup.exe")"
    printf '%-30s %10.3f\n' "kxsetup (Install to Finish)" "$click"
    printf '%-30s %10.3f %10s %10.3f\n' "kxsetup (to exit / removed)" "$toExit" "" "$removed"
    echo "No comparison with NSIS: $nsis_missing"
  else
    local zlibInstall zlibUninstall lzmaInstall lzmaUninstall
    zlibInstall=$(field zlib 2) zlibUninstall=$(field zlib 3)
    lzmaInstall=$(field lzma 2) lzmaUninstall=$(field lzma 3)
    printf '%-30s %10.3f %9sx %10.3f %9sx %12s\n' "kxsetup (start to Finish)" "$install" \
      "$(ratio "$install" "$zlibInstall")" "$uninstall" "$(ratio "$uninstall" "$zlibUninstall")" \
      "$(megabytes "$dir/full-setup.exe")"
    printf '%-30s %10.3f %9sx\n' "kxsetup (Install to Finish)" "$click" "$(ratio "$click" "$zlibInstall")"
    printf '%-30s %10.3f %10s %10.3f\n' "kxsetup (to exit / removed)" "$toExit" "" "$removed"
    printf '%-30s %10.3f %9sx %10.3f %9sx %12s\n' "NSIS zlib (/S, whole run)" "$zlibInstall" 1.00 \
      "$zlibUninstall" 1.00 "$(megabytes "$nsis/zlib-setup.exe")"
    printf '%-30s %10.3f %9sx %10.3f %9sx %12s\n' "NSIS lzma solid (/S)" "$lzmaInstall" \
      "$(ratio "$lzmaInstall" "$zlibInstall")" "$lzmaUninstall" "$(ratio "$lzmaUninstall" "$zlibUninstall")" \
      "$(megabytes "$nsis/lzma-setup.exe")"
    result click_vs_nsis "$(ratio "$click" "$zlibInstall")x"
    result finish_vs_nsis "$(ratio "$install" "$zlibInstall")x"
    result uninstall_vs_nsis "$(ratio "$uninstall" "$zlibUninstall")x"
    echo "Stub overhead: NSIS, an installer of one empty file: $(stat -c %s "$nsis/empty-setup.exe") bytes"
  fi
  echo "Stub: kxsetup setup.exe $stub bytes"
  echo "Peak working set of the setup process: installer $peak MB, uninstaller $unpeak MB"
}

# Process start to the welcome page, against a trivial program's whole run.
startup() { # installer -> prints the table row, sets beyond
  local shown trivial runs=11
  read -r shown trivial < <(wine_run "$bin/end_to_end_bench.exe" startup "$(winepath_of "$1")" \
    "$(winepath_of "$bin/trivial.exe")" "$runs")
  beyond=$(echo "$shown - $trivial" | bc -l)
  printf '%-30s %10s %10.3f %10.3f %10.3f\n' "$(basename "$1")" "$(megabytes "$1")" "$shown" "$trivial" "$beyond"
}
bench_startup() {
  local size=${1:-120}
  payload "$size"
  echo "Start-up: process start to the welcome page shown (median of 11 runs, seconds)"
  printf '%-30s %10s %10s %10s %10s\n' "installer" "MB" "shown" "trivial" "beyond"
  startup "$bin/kestrel-setup.exe"
  result startup_small "$(printf '%.3f s' "$beyond")"
  startup "$dir/full-setup.exe"
  result startup "$(printf '%.3f s' "$beyond")"
}

# The products at the limits: 3.5 GiB in seven files of 512 MiB, and 70,000
# small files, each built for this edition's stub, installed and removed
# through the wizard once, against `unzip -q` of the very archive.
product_installer() { # name, make_payload arguments... -> sets installer, zip
  local name=$1
  shift
  local folder="$products/$name"
  if [ ! -d "$folder/program" ]; then
    "$native/make_payload" "$folder" "$@" >&2
    cp -r "$top/examples/sample/program/." "$folder/program/"
  fi
  cp "$sample/terminal.exe" "$folder/program/"
  installer="$products/$name-$key_edition-setup.exe"
  if [ ! -f "$installer" ] || [ "$bin/setup.exe" -nt "$installer" ]; then
    "$native/kxpack" build --stub "$bin/setup.exe" --key "$key" --product "$top/examples/sample" \
      --program "$folder/program" --output "$installer" 2>/dev/null
  fi
  zip="$products/$name.zip"
  [ -f "$zip" ] || "$native/installer_archive" "$installer" "$zip"
}
bench_products() {
  echo "Products at the limits, installed and removed through the wizard (one run each)"
  printf '%-22s %9s %8s %9s %9s %9s %9s %9s %9s\n' "product" "installer" "files" "install" "Install" \
    "unzip -q" "vs unzip" "uninstall" "peak MB"
  printf '%-22s %9s %8s %9s %9s %9s %9s %9s %9s\n' "" "MB" "" "to Finish" "to Finish" "" "" "" "in/un"
  local name line install click uninstall peak unpeak start end unzipped files
  for name in large many; do
    case $name in
      large) product_installer 3.5GiB-product 3584 --no-zip --large-files ;;
      many) product_installer 70000-files 0 --no-zip --small-files 70000 ;;
    esac
    files=$(unzip -Z -1 "$zip" | grep -vc '/$' || true)
    if line=$(wine_run "$bin/end_to_end_bench.exe" ours "$(winepath_of "$installer")" 1); then
      read -r install click _ uninstall _ peak unpeak <<<"$line"
    else
      install=failed click=- uninstall=- peak=- unpeak=-
    fi
    rm -rf "$work/unzipped-product"
    start=$(date +%s.%N)
    unzip -q "$zip" -d "$work/unzipped-product"
    end=$(date +%s.%N)
    rm -rf "$work/unzipped-product"
    unzipped=$(echo "$end - $start" | bc -l)
    if [ "$install" != failed ]; then
      install=$(printf '%.3f' "$install") click=$(printf '%.3f' "$click") uninstall=$(printf '%.3f' "$uninstall")
    fi
    printf '%-22s %9s %8s %9s %9s %9.3f %9s %9s %9s\n' "$(basename "$installer" "-$key_edition-setup.exe")" \
      "$(megabytes "$installer")" "$files" "$install" "$click" "$unzipped" \
      "$([ "$install" = failed ] && echo - || ratio "$unzipped" "$click")x" "$uninstall" "$peak/$unpeak"
    case $name in
      large)
        result large "$([ "$install" = failed ] && echo "FAILED" || echo "installed, peak $peak MB, Install to Finish $click s vs unzip -q $(printf '%.3f' "$unzipped") s")"
        beyondLarge=$(
          wine_run "$bin/end_to_end_bench.exe" startup "$(winepath_of "$installer")" "$(winepath_of "$bin/trivial.exe")" 11 |
            awk '{ printf "%.3f", $1 - $2 }')
        result startup_large "$beyondLarge s"
        ;;
      many) result many "$([ "$install" = failed ] && echo "FAILED" || echo "installed in $install s, removed in $uninstall s")" ;;
    esac
  done
  echo "Start-up beyond a trivial program with the 3.5 GiB installer: ${beyondLarge:-?} s"
}

goals() {
  echo "Goals (ratios from one run of each edition)"
  printf '%-52s %-12s %-30s %-30s\n' "measure" "goal" "32-bit edition" "64-bit edition"
  row() { # label, goal, key
    printf '%-52s %-12s %-30s %-30s\n' "$1" "$2" "${results[32:$3]:-not measured}" "${results[64:$3]:-not measured}"
  }
  row "Install click to Finish, 120 MB, vs NSIS zlib /S" "<= 0.35x" click_vs_nsis
  row "start to Finish (wizard) vs NSIS zlib /S" "<= 0.6x" finish_vs_nsis
  row "start to welcome page beyond a trivial program" "<= 0.08 s" startup
  row "  the same with the 3.5 GiB installer" "<= 0.08 s" startup_large
  row "uninstall vs NSIS's" "<= 0.8x" uninstall_vs_nsis
  row "extraction alone vs unzip -q" ">= 2x" extract_vs_unzip
  row "install, 120 MB: setup process's peak memory" "<= 64 MB" peak_memory
  row "stub" "<= 300 KB" stub
  printf '%s\n' "3.5 GiB product (peak <= 96 MB):"
  for e in 32 64; do printf '  %s-bit: %s\n' "$e" "${results[$e:large]:-not measured}"; done
  printf '%s\n' "70,000 small files (installs and uninstalls):"
  for e in 32 64; do printf '  %s-bit: %s\n' "$e" "${results[$e:many]:-not measured}"; done
}

# Every benchmark, or the one named, for each edition that runs here.
if [ $# -gt 0 ]; then
  names=("$1")
  shift
else
  names=(descramble load extract install endtoend startup products)
  echo "kxsetup benchmarks, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(/usr/lib/wine/wine64 --version), sessions in $KX_BENCH_DIR"
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
if [ ${#names[@]} -gt 1 ]; then
  echo
  goals
fi
