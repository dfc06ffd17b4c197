#!/usr/bin/env bash
# The products at the limits of what an edition installs, for every edition
# this machine runs: 3.5 GiB in seven files of 512 MiB (an installer of
# more than 3 GB) and 70,000 small files (an archive that needs ZIP64).
# Each is installed through the wizard, checked file by file against the
# product, and removed; a cancel during the large product's extraction must
# leave the folder, the group and the registry as they were. Not part of
# the tests: it takes minutes and some 15 GB of disk (build/limits).
#   bash scripts/limits.sh
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
# shellcheck source=editions.sh
source scripts/editions.sh

build() { # preset, targets...: quiet unless it fails
  local log
  log=$(cmake --build --preset "$@" 2>&1) || { echo "$log" >&2; exit 1; }
}
bash scripts/setup.sh >/dev/null
cmake --preset native >/dev/null
build native --target kxpack make_payload
native="$top/build/native/bin"
limits="$top/build/limits"
mkdir -p "$limits"

# The products, made once, with the sample's files.
product() { # name, make_payload arguments...
  local name=$1
  shift
  if [ ! -f "$limits/$name/made" ]; then
    "$native/make_payload" "$limits/$name" "$@"
    cp -r "$top/examples/sample/program/." "$limits/$name/program/"
    touch "$limits/$name/made"
  fi
}
echo "== products in $limits"
product large 3584 --no-zip --large-files
product many 0 --no-zip --small-files 70000

presets=()
if kx_can_run_32bit; then presets+=(mingw); else echo "== the 32-bit edition is not run here: $KX_NO_32BIT_REASON"; fi
presets+=(mingw64)
harness="$top/tests/harness/session.sh"
status=0
for preset in "${presets[@]}"; do
  case $preset in mingw) arch=win32 edition=32-bit ;; mingw64) arch=win64 edition=64-bit ;; esac
  cmake --preset "$preset" >/dev/null
  build "$preset" --target setup terminal limits_tests
  bin="$top/build/$preset/bin"
  key="$top/build/$preset/keys/dev/package-key.pem"
  for name in large many; do
    # The terminal is the edition's own: shortcut 1 starts it. The manifest
    # lists every file of the product as this edition's installer holds it.
    cp "$top/build/$preset/sample/terminal.exe" "$limits/$name/program/terminal.exe"
    (cd "$limits/$name/program" && find . -type f -printf '%P %s\n' | sort) >"$limits/$name/manifest-$preset.txt"
    installer="$limits/$name-$preset-setup.exe"
    if [ ! -f "$installer" ] || [ "$bin/setup.exe" -nt "$installer" ]; then
      echo "== $edition edition: building $installer"
      "$native/kxpack" build --stub "$bin/setup.exe" --key "$key" --product "$top/examples/sample" \
        --program "$limits/$name/program" --output "$installer"
    fi
  done
  session="$top/build/$preset/limits-session"
  "$harness" start "$session" "$arch" >/dev/null
  winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }
  echo "== $edition edition: the products through the wizard"
  if ! KX_LIMITS_LARGE=$(winpath "$limits/large-$preset-setup.exe") \
       KX_LIMITS_LARGE_MANIFEST=$(winpath "$limits/large/manifest-$preset.txt") \
       KX_LIMITS_MANY=$(winpath "$limits/many-$preset-setup.exe") \
       KX_LIMITS_MANY_MANIFEST=$(winpath "$limits/many/manifest-$preset.txt") \
       "$harness" run "$session" "$bin/limits_tests.exe" | tr -d '\r'; then
    status=1
  fi
  "$harness" stop "$session"
done
exit "$status"
