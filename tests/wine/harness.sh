# The wine harness that tests/wine/run.sh and tests/wine/installer.sh share:
# a display of its own, the test prefix build-windows/wineprefix and the COM
# ports mapped (wine_setup.sh), and boxes of velk2-boxsim on
# pseudo-terminals. Sourced, with $1 the path of velk2-boxsim; sets $root,
# $win, $work (emptied), $boxsim.
set -euo pipefail
boxsim=$(realpath "$1")
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$root"
source tests/wine/wine_setup.sh
win=$root/build-windows
work=${work:-$win/e2e}
export WINEPREFIX=$win/wineprefix
rm -rf "$work" && mkdir -p "$work"
failures=0 passes=0
pids=()

say() { echo "== $*"; }
pass() {
    echo "ok: $*"
    passes=$((passes + 1))
}
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wineserver -k >/dev/null 2>&1 || true
}
trap cleanup EXIT
# A step of the harness itself that fails ends the run: say which one, since
# set -e alone ends it without a word. Steps run with set +e check their
# status themselves.
trap 'status_of_step=$?; [[ $- == *e* ]] &&
    echo "FAILED: ${BASH_SOURCE[0]##*/} line $LINENO: $BASH_COMMAND (exit $status_of_step)"' ERR

start_display "$work/xvfb.log"
pids+=("$display_pid")
make_prefix

# A box on a new pseudo-terminal; its slave path in $box_pty.
start_box() {
    local name=$1
    shift
    "$boxsim" "$@" >"$work/$name.out" 2>"$work/$name.log" &
    pids+=($!)
    eval "${name}_pid=$!"
    for _ in $(seq 100); do
        box_pty=$(head -n1 "$work/$name.out" 2>/dev/null || true)
        [ -n "$box_pty" ] && return 0
        sleep 0.05
    done
    echo "velk2-boxsim $name gave no pseudo-terminal"
    exit 1
}

# A program started by cmd.exe in folder $1 with the command line $2 exactly
# as a technician types it: the program reads its own line, so its quotes
# count. Exit status in $status, output in $1/stdout.txt and $1/stderr.txt.
run_line() {
    local dir=$1 line=$2
    printf '@%s\r\n@exit /b %%errorlevel%%\r\n' "$line" >"$dir/run.bat"
    set +e
    (cd "$dir" && timeout 120 wine cmd /c run.bat >stdout.txt 2>stderr.txt)
    status=$?
    set -e
}
