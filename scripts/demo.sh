#!/usr/bin/env bash
# The main job: installs what is missing, builds everything, makes the
# sample product's installer and runs it: the 32-bit edition where this
# machine runs 32-bit programs, the 64-bit edition otherwise (it says which;
# scripts/editions.sh has the probe, KX_NO_32BIT=1 forces the 64-bit one).
#   With a usable $DISPLAY the wizard opens there for you.
#   Without one, the installation and then the uninstallation run headless
#   under Xvfb, driven by kxdemo; the screenshots of every page go to
#   build/<preset>/demo-screenshots, and what was installed and removed is
#   printed.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
# shellcheck source=editions.sh
source scripts/editions.sh

bash scripts/setup.sh
if kx_can_run_32bit; then
  preset=mingw arch=win32 edition="32-bit"
  why="the main product"
else
  preset=mingw64 arch=win64 edition="64-bit"
  why="the 32-bit one cannot run: $KX_NO_32BIT_REASON"
fi
printf '\n== the %s edition of setup.exe (%s)\n' "$edition" "$why"
printf '\n== build\n'
cmake --preset native >/dev/null
cmake --build --preset native
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target setup sample_installer kxdemo

build="$top/build/$preset"
installer="$build/bin/kestrel-setup.exe"
to_windows() { echo "Z:$(echo "$1" | tr / '\\')"; }

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  printf '\n== running %s (%s edition) on %s\n' "$installer" "$edition" "$DISPLAY"
  export WINEPREFIX="$build/demo-prefix" WINEARCH=$arch WINEDEBUG=-all
  export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
  wine=wine wineserver=wineserver
  if [ "$arch" = win64 ]; then
    # /usr/bin/wine would pick the 32-bit loader whenever wine32 is installed.
    wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver64
    export WINELOADER=$wine WINESERVER=$wineserver
  fi
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot >/dev/null 2>&1 </dev/null
  status=0
  "$wine" "$installer" || status=$?
  echo "the installer exited with $status (Wine prefix $WINEPREFIX)"
  "$wineserver" -w
else
  screenshots="$build/demo-screenshots"
  session="$build/demo-session"
  printf '\n== no display: installing and uninstalling headless under Xvfb (%s edition)\n' "$edition"
  rm -rf "$screenshots"
  tests/harness/session.sh start "$session" "$arch" >/dev/null
  trap 'tests/harness/session.sh stop "$session"' EXIT
  tests/harness/session.sh run "$session" "$build/bin/kxdemo.exe" \
    "$(to_windows "$installer")" "$(to_windows "$screenshots")"
  printf '\nScreenshots: %s\n' "$screenshots"
  ls "$screenshots"
  # Every shot shows another page or state: two alike mean a shot was taken
  # before the page had repainted.
  alike=$(cd "$screenshots" && md5sum -- *.png | sort | uniq -w32 -D | awk '{ print $2 }')
  if [ -n "$alike" ]; then
    printf 'These screenshots are alike, though their pages differ:\n%s\n' "$alike" >&2
    exit 1
  fi
fi
