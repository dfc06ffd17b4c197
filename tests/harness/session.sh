#!/usr/bin/env bash
# A test session: an Xvfb display, a Wine prefix inside the build folder and a
# persistent wineserver, started once before the Windows-side tests and
# stopped after them. Without the persistent server every test process starts
# Wine's services, which keep the test runner's output pipe open for seconds.
#
#   session.sh start DIR       start (or reuse) the display and the server
#   session.sh stop DIR        end every Wine process of the prefix and the display
#   session.sh run DIR PROGRAM [ARGS...]   run a Windows program in the session
#   session.sh env DIR         print the environment, for running things by hand
set -euo pipefail

command=${1:?usage: session.sh start|stop|run|env DIR [PROGRAM ARGS...]}
dir=${2:?session folder missing}
shift 2
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

export WINEPREFIX="$dir/wineprefix"
export WINEARCH=win32
export WINEDEBUG=-all
# No sound drivers: message boxes beep, and there is no sound device.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d;winealsa.drv=d;winepulse.drv=d;wineoss.drv=d"
if [ -s "$dir/display" ]; then
  export DISPLAY=":$(cat "$dir/display")"
fi

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
    # Detached from every output: the services must not hold the runner's pipe.
    # The server needs the prefix folder; wineboot fills a new one. A server
    # that runs already (exit code 2) is reused.
    mkdir -p "$WINEPREFIX"
    wineserver -p </dev/null >/dev/null 2>&1 || [ $? -eq 2 ]
    wine wineboot </dev/null >"$dir/wineboot.log" 2>&1 || {
      cat "$dir/wineboot.log" >&2; echo "wineboot failed" >&2; exit 1; }
    # Unmanaged windows: Xvfb has no window manager, and Wine would wait 2 s
    # for one each time a managed window goes away. Wine then draws the
    # window frames itself, which the screenshots show.
    if [ ! -e "$WINEPREFIX/.kx-unmanaged" ]; then
      wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
      touch "$WINEPREFIX/.kx-unmanaged"
    fi
    echo "session ready: DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX"
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    if display_alive; then
      kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true
    fi
    rm -f "$dir/display" "$dir/xvfb.pid"
    ;;
  run)
    exec wine "$@"
    ;;
  env)
    echo "export WINEPREFIX='$WINEPREFIX' WINEARCH=$WINEARCH WINEDEBUG=$WINEDEBUG"
    echo "export WINEDLLOVERRIDES='$WINEDLLOVERRIDES'${DISPLAY:+ DISPLAY=$DISPLAY}"
    ;;
  *)
    echo "unknown command: $command" >&2
    exit 2
    ;;
esac
