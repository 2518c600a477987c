#!/usr/bin/env bash
# The Windows test programs under wine for CTest (tests/CMakeLists.txt): the
# fixtures that a run stands on and the emulator that starts each program.
#   ctest_wine.sh display STATE   Xvfb, ready when it answers
#   ctest_wine.sh prefix STATE    the wine prefix STATE/prefix, made once
#   ctest_wine.sh ports STATE     COM1..COM8 of the prefix mapped to nothing and
#                                 read back; its server kept up for the run
#   ctest_wine.sh stop STATE      the server and the display stopped
#   ctest_wine.sh run STATE WINE EXE [ARG...]
#       EXE under WINE in the prefix on the display, once the ports read back
#       as mapped to nothing; with VELK2_WINE_DPI set, at that DPI.
# STATE is a folder of the build; STATE/env holds the display of the run.
set -euo pipefail
source "$(dirname "$0")/wine_setup.sh"
mode=$1 state=$(realpath -m "$2")
shift 2
mkdir -p "$state"

# Programs that CTest waits on must not hand its output pipes to what keeps
# running (Xvfb, wineserver, wine's own services).
quiet() { "$@" </dev/null >>"$state/setup.log" 2>&1; }

export WINEPREFIX=$state/prefix

stop_all() {
    if [ -d "$WINEPREFIX" ]; then wineserver -k >/dev/null 2>&1 || true; fi
    local pid
    pid=$(cat "$state/xvfb.pid" 2>/dev/null || true)
    # Only the Xvfb of this folder: the number may be another program's now.
    if [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = Xvfb ]; then
        kill "$pid" 2>/dev/null || true
    fi
    rm -f "$state/xvfb.pid"
    rm -f "$state/env"
}

load_env() {
    if [ ! -f "$state/env" ]; then
        echo "no display: the fixture wine.display has not run"
        exit 1
    fi
    source "$state/env"
    export DISPLAY
}

case $mode in
display)
    stop_all # what a run cut short left behind
    : >"$state/setup.log"
    start_display "$state/xvfb.log" </dev/null
    echo "$display_pid" >"$state/xvfb.pid"
    echo "DISPLAY=$DISPLAY" >"$state/env"
    echo "display $DISPLAY"
    ;;
prefix)
    load_env
    quiet make_prefix || { tail -5 "$state/setup.log"; exit 1; }
    quiet set_dpi 96
    echo "prefix $WINEPREFIX"
    ;;
ports)
    load_env
    if ! quiet map_ports; then
        tail -3 "$state/setup.log"
        exit 1
    fi
    echo "COM1..COM8 of $WINEPREFIX map to nothing"
    ;;
stop)
    stop_all
    ;;
run)
    load_env
    check_ports
    if [ -n "${VELK2_WINE_DPI:-}" ]; then set_dpi "$VELK2_WINE_DPI" </dev/null; fi
    # The output through a file: a wine process that outlives the program
    # must not hold CTest's pipe.
    out=$(mktemp "$state/run-XXXXXX")
    trap 'rm -f "$out"' EXIT
    status=0
    "$@" </dev/null >"$out" 2>&1 || status=$?
    tr -d '\r' <"$out"
    exit $status
    ;;
*)
    echo "usage: ctest_wine.sh display|prefix|ports|stop|run STATE ..."
    exit 2
    ;;
esac
