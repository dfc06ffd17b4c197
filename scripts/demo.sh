#!/usr/bin/env bash
# The main job: installs what is missing, builds everything, makes the
# sample product's installer (build/mingw/bin/kestrel-setup.exe) and runs it.
#   With a usable $DISPLAY the wizard opens there for you.
#   Without one, the installation and then the uninstallation run headless
#   under Xvfb, driven by kxdemo; the screenshots of every page go to
#   build/mingw/demo-screenshots, and what was installed and removed is printed.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"

bash scripts/setup.sh
printf '\n== build\n'
cmake --preset native >/dev/null
cmake --build --preset native
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target setup sample_installer kxdemo

installer="$top/build/mingw/bin/kestrel-setup.exe"
to_windows() { echo "Z:$(echo "$1" | tr / '\\')"; }

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  printf '\n== running %s on %s\n' "$installer" "$DISPLAY"
  export WINEPREFIX="$top/build/mingw/demo-prefix" WINEARCH=win32 WINEDEBUG=-all
  export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
  mkdir -p "$WINEPREFIX"
  wine wineboot >/dev/null 2>&1 </dev/null
  status=0
  wine "$installer" || status=$?
  echo "the installer exited with $status (Wine prefix $WINEPREFIX)"
  wineserver -w
else
  screenshots="$top/build/mingw/demo-screenshots"
  session="$top/build/mingw/demo-session"
  printf '\n== no display: installing and uninstalling headless under Xvfb\n'
  rm -rf "$screenshots"
  tests/harness/session.sh start "$session" >/dev/null
  trap 'tests/harness/session.sh stop "$session"' EXIT
  tests/harness/session.sh run "$session" "$top/build/mingw/bin/kxdemo.exe" \
    "$(to_windows "$installer")" "$(to_windows "$screenshots")"
  printf '\nScreenshots: %s\n' "$screenshots"
  ls "$screenshots"
fi
