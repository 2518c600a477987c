# The wine harness that tests/wine/run.sh and tests/wine/installer.sh share:
# a display of its own (Xvfb), the test prefix build-windows/wineprefix, boxes
# of velk2-boxsim on pseudo-terminals, and the COM ports mapped to them.
# No COM port of the prefix ever names a real serial device: COM1 to COM8
# are mapped to the simulator's pseudo-terminals or to nothing, any port that
# wine finds on its own is removed, and each mapping is read back before a
# byte is sent. Sourced, with $1 the path of velk2-boxsim; sets $root, $win,
# $work (emptied), $boxsim.
set -euo pipefail
boxsim=$(realpath "$1")
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$root"
win=$root/build-windows
work=${work:-$win/e2e}
# winemenubuilder off: an installer's Start-menu entry must not reach the
# desktop of the machine that runs the tests.
export WINEPREFIX=$win/wineprefix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
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

# A display of our own.
for n in $(seq 90 120); do [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break; done
Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=":$n"
sleep 1

if [ ! -d "$WINEPREFIX/drive_c" ]; then
    say "new wine prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
fi
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true

# The display's DPI as wine 8 reads it (HKCU\Control Panel\Desktop\LogPixels)
# at the next start of the prefix; map_ports restarts it.
set_dpi() {
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}

# Maps COM1..COM8: "COMn=/dev/pts/N" pairs given, every other one to nothing;
# restarts the prefix (wine reads its ports at start), removes what wine
# added on its own for real devices, and checks every link.
map_ports() {
    declare -A want=()
    for pair in "$@"; do want[${pair%%=*}]=${pair#*=}; done
    for n in 1 2 3 4 5 6 7 8; do
        wine reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /t REG_SZ /d "${want[COM$n]:-}" /f \
            >/dev/null 2>&1
    done
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w
    wineserver -p >/dev/null 2>&1
    wine cmd /c exit >/dev/null 2>&1
    local link target
    for link in "$WINEPREFIX"/dosdevices/com*; do
        [ -L "$link" ] || continue
        target=$(readlink "$link")
        case $target in /dev/pts/*) ;; *) rm -f "$link" ;; esac
    done
    for n in 1 2 3 4 5 6 7 8; do
        link=$WINEPREFIX/dosdevices/com$n
        target=$(readlink "$link" 2>/dev/null || true)
        if [ "$target" != "${want[COM$n]:-}" ]; then
            echo "COM$n maps to '$target', not '${want[COM$n]:-}': stopping before any byte is sent"
            exit 1
        fi
    done
    for link in "$WINEPREFIX"/dosdevices/com*; do
        [ -L "$link" ] || continue
        case $(readlink "$link") in /dev/pts/*) ;; *) echo "real device at $link"; exit 1 ;; esac
    done
}

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
