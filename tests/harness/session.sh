#!/usr/bin/env bash
# A test session: an Xvfb display, a Wine prefix inside the build folder and a
# persistent wineserver, started once before the Windows-side tests and
# stopped after them. Without the persistent server every test process starts
# Wine's services, which keep the test runner's output pipe open for seconds.
#
# A session serves one edition of the setup program: win32 (the 32-bit
# edition, a 32-bit prefix) or win64 (the 64-bit edition, a 64-bit prefix run
# by Wine's 64-bit loader, which works also where 32-bit programs cannot run).
# `start` records the kind in the session folder; the other commands read it.
#
#   session.sh start DIR [win32|win64]   start (or reuse) the display and the server
#   session.sh stop DIR        end every Wine process of the prefix and the display
#   session.sh run DIR PROGRAM [ARGS...]   run a Windows program in the session
#   session.sh env DIR         print the environment, for running things by hand
set -euo pipefail

command=${1:?usage: session.sh start|stop|run|env DIR [win32|win64 | PROGRAM ARGS...]}
dir=${2:?session folder missing}
shift 2
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

if [ "$command" = start ]; then
  arch=${1:-win32}
  case $arch in win32 | win64) ;; *) echo "unknown prefix kind: $arch (win32 or win64)" >&2; exit 2 ;; esac
  echo "$arch" >"$dir/arch"
elif [ -s "$dir/arch" ]; then
  arch=$(cat "$dir/arch")
else
  arch=win32
fi

export WINEARCH=$arch
if [ "$arch" = win64 ]; then
  # /usr/bin/wine picks the 32-bit loader whenever wine32 is installed, so the
  # 64-bit loader and server are named directly.
  wine=/usr/lib/wine/wine64
  export WINELOADER=$wine WINESERVER=/usr/lib/wine/wineserver64
  export WINEPREFIX="$dir/wineprefix64"
else
  wine=wine
  export WINEPREFIX="$dir/wineprefix"
fi
export WINEDEBUG=-all
# No sound drivers: message boxes beep, and there is no sound device. No
# debugger: winedbg would wait for ever on a crashed program, with the
# runner's output pipe open.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d;winedbg.exe=d;winealsa.drv=d;winepulse.drv=d;wineoss.drv=d"
if [ -s "$dir/display" ]; then
  export DISPLAY=":$(cat "$dir/display")"
fi
# Symbolic links the tests ask for (tests/support/UnixLink.cpp): Wine cannot
# make them, and a Unix program started from a test would bring up Wine
# services that hold the runner's output pipe.
export KX_LINK_REQUESTS="$dir/link-requests"

links_alive() {
  [ -s "$dir/links.pid" ] && kill -0 "$(cat "$dir/links.pid")" 2>/dev/null
}

# Carries out "ln" and "rm" requests: the operation, the link's target and
# the link's path, one a line.
start_link_server() {
  mkdir -p "$KX_LINK_REQUESTS"
  if links_alive; then
    return
  fi
  setsid bash -c '
    cd "$1" || exit 1
    while [ -d "$1" ]; do
      for request in *.req; do
        [ -e "$request" ] || continue
        { read -r operation; read -r target; read -r link; } <"$request"
        case $operation in
          ln) ln -sfn -- "$target" "$link" ;;
          rm) rm -f -- "$link" ;;
        esac
        rm -f -- "$request"
      done
      sleep 0.02
    done' link-server "$KX_LINK_REQUESTS" </dev/null >/dev/null 2>&1 &
  echo $! >"$dir/links.pid"
}

display_alive() {
  [ -s "$dir/xvfb.pid" ] && kill -0 "$(cat "$dir/xvfb.pid")" 2>/dev/null
}

start_display() {
  if display_alive; then
    return
  fi
  rm -f "$dir/display" "$dir/xvfb.pid"
  # Xvfb picks a free display itself and writes its number to fd 3 once it
  # accepts clients.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/display" \
    </dev/null >"$dir/xvfb.log" 2>&1 &
  echo $! >"$dir/xvfb.pid"
  for _ in $(seq 100); do
    [ -s "$dir/display" ] && break
    display_alive || { cat "$dir/xvfb.log" >&2; echo "Xvfb did not start" >&2; exit 1; }
    sleep 0.1
  done
  [ -s "$dir/display" ] || { echo "Xvfb gave no display number" >&2; exit 1; }
  export DISPLAY=":$(cat "$dir/display")"
}

case $command in
  start)
    start_display
    start_link_server
    # A 64-bit prefix booted where 32-bit programs could not run has no
    # 32-bit system files; where they run now, it is made anew.
    if [ "$arch" = win64 ] && [ -d "$WINEPREFIX/drive_c/windows" ] &&
      [ ! -e "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] &&
      (source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/editions.sh" && kx_can_run_32bit); then
      ${WINESERVER:-wineserver} -k </dev/null >/dev/null 2>&1 || true
      rm -rf "$WINEPREFIX"
    fi
    # Detached from every output: the services must not hold the runner's pipe.
    # The server needs the prefix folder; wineboot fills a new one. A server
    # that runs already (exit code 2) is reused.
    mkdir -p "$WINEPREFIX"
    ${WINESERVER:-wineserver} -p </dev/null >/dev/null 2>&1 || [ $? -eq 2 ]
    "$wine" wineboot </dev/null >"$dir/wineboot.log" 2>&1 || {
      cat "$dir/wineboot.log" >&2; echo "wineboot failed" >&2; exit 1; }
    # Unmanaged windows: Xvfb has no window manager, and Wine would wait 2 s
    # for one each time a managed window goes away. Wine then draws the
    # window frames itself, which the screenshots show.
    if [ ! -e "$WINEPREFIX/.kx-unmanaged" ]; then
      "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
      touch "$WINEPREFIX/.kx-unmanaged"
    fi
    echo "session ready ($arch): DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX"
    ;;
  stop)
    ${WINESERVER:-wineserver} -k </dev/null >/dev/null 2>&1 || true
    if display_alive; then
      kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true
    fi
    rm -f "$dir/display" "$dir/xvfb.pid"
    if links_alive; then
      kill "$(cat "$dir/links.pid")" 2>/dev/null || true
    fi
    rm -f "$dir/links.pid"
    ;;
  run)
    exec "$wine" "$@"
    ;;
  env)
    echo "export WINEPREFIX='$WINEPREFIX' WINEARCH=$WINEARCH WINEDEBUG=$WINEDEBUG"
    if [ "$arch" = win64 ]; then
      echo "export WINELOADER=$WINELOADER WINESERVER=$WINESERVER"
      echo "alias wine=$wine"
    fi
    echo "export WINEDLLOVERRIDES='$WINEDLLOVERRIDES'${DISPLAY:+ DISPLAY=$DISPLAY}"
    ;;
  *)
    echo "unknown command: $command" >&2
    exit 2
    ;;
esac
