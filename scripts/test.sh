#!/usr/bin/env bash
# Sets up the machine (scripts/setup.sh), builds everything and runs every
# test. This is the README's test command and what CI runs.
#
# Both editions of setup.exe are always built, and the static checks of both
# (machine, subsystem, imports, the layout kxpack relies on) always run. The
# whole Windows-side suite runs on the 64-bit edition everywhere, and on the
# 32-bit edition wherever this machine runs 32-bit programs (the probe in
# scripts/editions.sh; KX_NO_32BIT=1 rehearses a machine that does not).
# The last lines say, per edition, what was tested and what was not.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
# shellcheck source=editions.sh
source scripts/editions.sh

bash scripts/setup.sh
printf '\n== build and test: kxpack and the native tests\n'
cmake --workflow --preset native
# The Windows side needs kxpack for its keys, the sample installers and tests.
printf '\n== build: setup.exe in both editions, and their Windows-side tests\n'
cmake --preset mingw
cmake --build --preset mingw
cmake --preset mingw64
cmake --build --preset mingw64
# The Debian package holds both editions' setup.exe: made once they are
# built, and before the Windows-side tests, whose release tests install
# what it alone makes.
printf '\n== package: build/native/kxsetup_<version>_amd64.deb\n'
cmake --build --preset native --target package

# run_tests NAME PRESET [CTEST ARGS...]: runs the tests, sets `outcome` to
# "N of M tests passed" (or what went wrong) and returns ctest's status.
run_tests() {
  local name=$1 preset=$2 log status=0 line
  shift 2
  printf '\n== test: %s (ctest --preset %s%s)\n' "$name" "$preset" "${*:+ $*}"
  log=$(mktemp)
  ctest --preset "$preset" "$@" 2>&1 | tee "$log" || status=$?
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
  rm -f "$log"
  if [[ $line =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
    outcome="$((BASH_REMATCH[2] - BASH_REMATCH[1])) of ${BASH_REMATCH[2]} tests passed"
  else
    outcome="ctest ran no tests"
    [ "$status" -ne 0 ] || status=1
  fi
  return "$status"
}

failed=0
if kx_can_run_32bit; then
  if run_tests "the 32-bit edition, every test" mingw; then
    x86="tested: $outcome"
  else
    x86="FAILED: $outcome"
    failed=1
  fi
  if run_tests "the 64-bit edition, every test" mingw64; then
    x64="tested: $outcome"
  else
    x64="FAILED: $outcome"
    failed=1
  fi
else
  printf '\n== the 32-bit edition cannot run here: %s\n' "$KX_NO_32BIT_REASON"
  if run_tests "the 32-bit edition, static checks only" mingw -L static; then
    x86="NOT RUN on this machine ($KX_NO_32BIT_REASON); built, static checks: $outcome"
  else
    x86="FAILED static checks: $outcome; NOT RUN on this machine ($KX_NO_32BIT_REASON)"
    failed=1
  fi
  if run_tests "the 64-bit edition, every test but those that also run the 32-bit one" mingw64 -LE needs-32bit; then
    x64="tested: $outcome; not run: the tests of both editions side by side (they need 32-bit programs)"
  else
    x64="FAILED: $outcome"
    failed=1
  fi
fi

printf '\n== editions\n'
printf '32-bit edition (build/mingw):   %s\n' "$x86"
printf '64-bit edition (build/mingw64): %s\n' "$x64"
exit "$failed"
