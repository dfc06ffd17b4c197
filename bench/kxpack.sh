#!/usr/bin/env bash
# kxpack against the standard ZIP tools, natively (no Wine), on a generated
# program folder (bench/MakePayload.cpp, about 500 files):
#   build    `kxpack build` of the sample product with that folder as its
#            program files, against `zip -q -r -6` of the same folder
#   inspect  `kxpack inspect` of that installer, against `unzip -tq` of that zip
# Each is run 3 times on a warm page cache; the table shows the median wall
# time and peak resident memory (`/usr/bin/time -f '%e %M'`).
#   bash bench/kxpack.sh                 both halves, a 200 MB folder
#   bash bench/kxpack.sh inspect [MB]    one half
# Two products at an edition's limits instead of the folder:
#   bash bench/kxpack.sh [build|inspect] large   3.5 GiB in seven files of
#        512 MiB, six random, one text: an installer over 3 GiB (one run
#        each, no peer: zip would take minutes a run)
#   bash bench/kxpack.sh [build|inspect] small   70,000 files of 1 to 8 KB,
#        100 to a folder: 70,770 entries, a ZIP64 archive
set -euo pipefail
export LC_ALL=C
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"

usage() { echo "usage: bash bench/kxpack.sh [build|inspect] [MB|large|small]" >&2; exit 2; }
halves=(build inspect)
case ${1:-} in
  build | inspect) halves=("$1"); shift ;;
  "" | [0-9]* | large | small) ;;
  *) usage ;;
esac
size=${1:-200}
[[ $size =~ ^([0-9]+|large|small)$ ]] || usage
runs=3
files=500
peers=yes
case $size in
  large) payload=(3584 --no-zip --large-files); runs=1; peers=no ;;
  small) payload=(0 --no-zip --small-files 70000) ;;
  *) payload=("$size" --no-zip --files "$files") ;;
esac

for tool in zip unzip /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/setup.sh" >&2; exit 1; }
done
build() { # preset, targets...: quiet unless it fails
  local log
  log=$(cmake --build --preset "$@" 2>&1) || { echo "$log" >&2; exit 1; }
}
cmake --preset native >/dev/null
build native --target kxpack make_payload
kxpack=$top/build/native/bin/kxpack
# The stub: the 64-bit setup.exe, built when it is not there yet, and the
# package key and certificate (the release pair when one is configured).
stub=$top/build/mingw64/bin/setup.exe
if [ ! -f "$stub" ]; then
  cmake --preset mingw64 >/dev/null
  build mingw64 --target setup
fi
key=$(sed -n 's/^KX_PACKAGE_KEY:FILEPATH=\(..*\)$/\1/p' build/mingw64/CMakeCache.txt)
key=${key:-$top/build/mingw64/keys/dev/package-key.pem}
cert=$(sed -n 's/^KX_PACKAGE_CERT:FILEPATH=\(..*\)$/\1/p' build/mingw64/CMakeCache.txt)
cert=${cert:-${key%/*}/package-cert.der}

work=$top/build/native/bench-kxpack/payload-$size
if [ ! -d "$work/program" ]; then
  mkdir -p "$work"
  "$top/build/native/bin/make_payload" "$work" "${payload[@]}" >/dev/null
fi
count=$(find "$work/program" -type f | wc -l)
installer=$work/setup.exe
zipfile=$work/program.zip
# The sample's shortcut 1 names terminal.exe: a stand-in comes as custom files.
mkdir -p "$work/custom"
cp "$stub" "$work/custom/terminal.exe"
build_installer=("$kxpack" build --stub "$stub" --key "$key" --certificate "$cert" --product "$top/examples/sample"
  --program "$work/program" --custom "$work/custom" --output "$installer")
zip_folder=(env -C "$work/program" zip -q -r -6 "$zipfile" .)

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
megabytes() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.1f", b / 1048576 }'; }
# measure NAME PREPARE COMMAND...: sets NAME_s and NAME_mb, the medians of
# wall seconds and peak megabytes; PREPARE runs before each run, untimed.
measure() {
  local name=$1 prepare=$2 times=() peaks=() out seconds kilobytes
  shift 2
  out=$(mktemp)
  for _ in $(seq "$runs"); do
    $prepare
    /usr/bin/time -f '%e %M' -o "$out" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; cat "$out" >&2; exit 1; }
    read -r seconds kilobytes <"$out"
    times+=("$seconds")
    peaks+=("$kilobytes")
  done
  rm -f "$out"
  printf -v "${name}_s" '%s' "$(printf '%s\n' "${times[@]}" | median)"
  printf -v "${name}_mb" '%s' "$(printf '%s\n' "${peaks[@]}" | median | awk '{ printf "%.1f", $1 / 1024 }')"
}
row() { # label, seconds, MB, peer seconds (none: no peer)
  awk -v l="$1" -v s="$2" -v m="$3" -v p="${4:-}" \
    'BEGIN { printf "%-28s %10.2f %10.1f %10s\n", l, s, m, p == "" ? "-" : sprintf("%.2fx", s / p) }'
}

# The inputs of the inspect half, made once when the build half did not run.
[ -f "$installer" ] || "${build_installer[@]}" 2>/dev/null
[ "$peers" = no ] || [ -f "$zipfile" ] || "${zip_folder[@]}"

what="$size MB folder"
[[ $size =~ ^[0-9]+$ ]] ||
  what="$size product, $(find "$work/program" -type f -printf '%s\n' | awk '{ b += $1 } END { printf "%.1f", b / 1048576 }') MB"
echo "kxpack against zip and unzip, native: $what of $count files (median of $runs runs, warm page cache)"
printf '%-28s %10s %10s %10s\n' "" "seconds" "peak MB" "vs peer"
for half in "${halves[@]}"; do
  case $half in
    build)
      measure ours : "${build_installer[@]}"
      if [ "$peers" = no ]; then
        row "kxpack build" "$ours_s" "$ours_mb"
        echo "  installer $(megabytes "$installer") MB"
        continue
      fi
      # zip adds to an archive that exists: each run starts without one.
      measure peer "rm -f $zipfile" "${zip_folder[@]}"
      row "kxpack build" "$ours_s" "$ours_mb" "$peer_s"
      row "zip -q -r -6" "$peer_s" "$peer_mb" "$peer_s"
      echo "  installer $(megabytes "$installer") MB, zip $(megabytes "$zipfile") MB"
      ;;
    inspect)
      measure ours : "$kxpack" inspect "$installer"
      if [ "$peers" = no ]; then
        row "kxpack inspect" "$ours_s" "$ours_mb"
      else
        measure peer : unzip -tq "$zipfile"
        row "kxpack inspect" "$ours_s" "$ours_mb" "$peer_s"
        row "unzip -tq" "$peer_s" "$peer_mb" "$peer_s"
      fi
      echo "  installer $(megabytes "$installer") MB: peak memory of inspect is" \
        "$(awk -v m="$ours_mb" -v f="$(megabytes "$installer")" 'BEGIN { printf "%.3f", m / f }')x its size"
      ;;
  esac
done
