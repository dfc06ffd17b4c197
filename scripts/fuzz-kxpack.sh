#!/usr/bin/env bash
# Fuzzes `kxpack inspect` with libFuzzer, ASan and UBSan: builds
# tests/fuzz/InspectFuzz.cpp with the kxpack library into build/fuzz, runs it
# over a working copy of the committed corpus, and sums up what it found.
set -uo pipefail

usage() {
  cat <<'EOF'
usage: scripts/fuzz-kxpack.sh [SECONDS]

Fuzzes kxpack inspect for SECONDS (default 600) in one libFuzzer process.
Installs clang and the libFuzzer runtime with apt when they are missing, and
runs scripts/setup.sh when OpenSSL, zlib, ICU or LZO are.

  build/fuzz/inspect_fuzz  the fuzz target (clang, -fsanitize=fuzzer,address,undefined)
  build/fuzz/corpus        the working corpus, seeded from tests/fuzz/corpus
                           and tests/fuzz/regressions, kept between runs
  build/fuzz/artifacts     crash-*, leak-*, oom-* and timeout-* inputs
  build/fuzz/fuzz.log      libFuzzer's output

Each input gets 10 s and the process 2048 MB. At the end the script prints
the executions, the corpus size, this run's crashes and timeouts (counted
from the artifacts it wrote) and libFuzzer's exit status, which it exits
with.

The committed corpus came from tests/fuzz/make-seeds.sh (installers built by
kxpack build from a minimal stub and a tiny product, and variants of them)
and the fuzzer's own finds, cut down to a small set that reaches every edge
they reach; see tests/fuzz/README.md. A crash goes into tests/fuzz/regressions
before it is fixed, where the native tests (InspectCorpusTest) run it.
EOF
}

case "${1:-}" in -h | --help) usage; exit 0 ;; esac
if [ $# -gt 1 ] || ! [[ ${1:-600} =~ ^[1-9][0-9]*$ ]]; then
  usage >&2
  exit 2
fi
seconds=${1:-600}

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$top/build/fuzz
fail() { printf 'fuzz-kxpack: %s\n' "$*" >&2; exit 1; }
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# clang and its libFuzzer runtime, which Debian ships apart (libclang-rt-N-dev).
fuzzer_runtime() {
  local dir
  dir=$(clang++ -print-resource-dir 2>/dev/null) || return 1
  compgen -G "$dir/lib/linux/libclang_rt.fuzzer-$(uname -m).a" >/dev/null
}
if ! command -v clang++ >/dev/null || ! fuzzer_runtime; then
  echo "== installing clang and the libFuzzer runtime"
  as_root apt-get update || fail "apt-get update failed"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends clang ||
    fail "cannot install clang"
  major=$(clang++ -dumpversion | cut -d. -f1)
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    "libclang-rt-$major-dev" || fail "cannot install libclang-rt-$major-dev"
  fuzzer_runtime || fail "clang++ still has no libFuzzer runtime"
fi
if ! pkg-config --exists zlib libcrypto icu-uc 2>/dev/null || [ ! -f /usr/include/lzo/lzo1x.h ]; then
  echo "== OpenSSL, zlib, ICU or LZO missing: scripts/setup.sh"
  bash "$top/scripts/setup.sh" || fail "scripts/setup.sh failed"
fi

archive=("$top/src/archive/ZipFormat.cpp" "$top/src/archive/ZipNames.cpp" "$top/src/archive/ZipContract.cpp")
sources=("$top/src/package/PackageFormat.cpp" "$top/src/package/UninstallList.cpp"
  "${archive[@]}" "$top/src/install/UninstallerImage.cpp"
  "$top"/tools/kxpack/lib/*.cpp "$top/tools/kxpack/Inspect.cpp" "$top/tools/kxpack/Args.cpp" "$top"/tests/fuzz/*.cpp)
target=$out/inspect_fuzz
mkdir -p "$out/obj" "$out/corpus" "$out/artifacts"
# Rebuilt whenever a file of the library, the setup program's package and
# image code or the target is newer than it.
if [ ! -x "$target" ] || [ -n "$(find "$top/tools/kxpack" "$top/src/package" "${archive[@]}" "${archive[@]/%.cpp/.h}" \
  "$top/src/install/UninstallerImage.cpp" "$top/tests/fuzz" -name '*.[ch]*' -newer "$target" -print -quit)" ]; then
  echo "== building $target"
  flags=(-std=c++17 -g -O1 -fno-omit-frame-pointer -fsanitize=address,undefined
    -fno-sanitize-recover=all -I"$top/tools/kxpack" -I"$top/src" -I"$top/tests/fuzz")
  read -ra zipflags <<<"$(pkg-config --cflags libcrypto zlib icu-uc)"
  objects=()
  failed=0
  for source in "${sources[@]}"; do
    objects+=("$out/obj/$(basename "$source" .cpp).o")
    clang++ "${flags[@]}" -fsanitize=fuzzer-no-link "${zipflags[@]}" -c "$source" -o "${objects[-1]}" &
    while [ "$(jobs -rp | wc -l)" -ge "$(nproc)" ]; do wait -n || failed=1; done
  done
  for pid in $(jobs -p); do wait "$pid" || failed=1; done
  [ "$failed" -eq 0 ] || fail "compiling failed"
  read -ra libs <<<"$(pkg-config --libs libcrypto zlib icu-uc)"
  clang++ -fsanitize=fuzzer,address,undefined -o "$target" "${objects[@]}" "${libs[@]}" -llzo2 ||
    fail "linking failed"
fi

cp -n "$top"/tests/fuzz/corpus/* "$out/corpus/" 2>/dev/null
cp -n "$top"/tests/fuzz/regressions/* "$out/corpus/" 2>/dev/null

echo "== fuzzing for $seconds s (log: $out/fuzz.log)"
touch "$out/run-start"
"$target" "$out/corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$out/artifacts/" -print_final_stats=1 2>&1 | tee "$out/fuzz.log" |
  grep -E --line-buffered 'DONE|pulse|ERROR|SUMMARY|Test unit written|==[0-9]+=='
status=${PIPESTATUS[0]}

# Artifacts of this run; those of earlier runs stay in the folder.
count() { find "$out/artifacts" -maxdepth 1 -name "$1" -newer "$out/run-start" | wc -l; }
final_stat() { sed -n "s/^stat::$1: *//p" "$out/fuzz.log" | tail -n 1; }
executions=$(final_stat number_of_executed_units)
rate=$(final_stat average_exec_per_sec)
echo "== totals"
echo "executions:   ${executions:-unknown} (${rate:-?} per second)"
kept=$(grep -o 'corp: [0-9]*/[0-9]*[a-zA-Z]*' "$out/fuzz.log" | tail -n 1 | cut -d' ' -f2)
echo "corpus:       ${kept:-?} (inputs/size) in use, $(find "$out/corpus" -type f | wc -l) files in $out/corpus"
echo "crashes:      $(($(count 'crash-*') + $(count 'leak-*') + $(count 'oom-*'))) (crash, leak and oom artifacts)"
echo "timeouts:     $(count 'timeout-*') (hangs of 10 s and more)"
echo "exit status:  $status"
exit "$status"
