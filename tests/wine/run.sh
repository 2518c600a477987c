#!/usr/bin/env bash
# The Windows builds under wine on Xvfb: the unit tests of both builds, the
# window tests and the window's picture, and whole runs of velk2.exe against
# velk2-boxsim on pseudo-terminals that wine maps to COM ports:
#   COM1  automatic upload of 300 000 bytes at 230400
#   COM2  the same to a box at 115200 (the fall-back)
#   COM3  a download started by a click on "Download from Box"
#   COM4  the service build's service upload, landing at 0x008E0000
#   COM5  automatic starts whose named file is missing: nothing may arrive
# No COM port of the prefix ever names a real serial device: COM1 to COM8
# are mapped to the simulator's pseudo-terminals or to nothing, any port that
# wine finds on its own is removed, and each mapping is read back before a
# byte is sent.
# Usage: tests/wine/run.sh PATH/TO/velk2-boxsim
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
boxsim=$(realpath "$1")
win=$root/build-windows
work=$win/e2e
export WINEPREFIX=$win/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$work" && mkdir -p "$work"
failures=0 passes=0
pids=()

say() { echo "== $*"; }
pass() { echo "ok: $*"; passes=$((passes + 1)); }
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
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
    local name=$1; shift
    "$boxsim" "$@" >"$work/$name.out" 2>"$work/$name.log" &
    pids+=($!)
    eval "${name}_pid=$!"
    for _ in $(seq 100); do
        box_pty=$(head -n1 "$work/$name.out" 2>/dev/null || true)
        [ -n "$box_pty" ] && return 0
        sleep 0.05
    done
    echo "velk2-boxsim $name gave no pseudo-terminal"; exit 1
}

# velk2.exe of one build copied under a per-port name into $work/$2, run
# there with the given arguments; exit status in $status.
run_copy() {
    local build=$1 dir=$work/$2 name=$3; shift 3
    mkdir -p "$dir"
    cp "$win/$build/velk2.exe" "$dir/$name"
    set +e
    (cd "$dir" && timeout 120 wine "$name" "$@" >stdout.txt 2>stderr.txt)
    status=$?
    set -e
}

say "unit tests under wine (ports mapped to nothing)"
map_ports
for build in default service; do
    if wine "$win/$build/tests/velk2_tests.exe" >"$work/unit-$build.txt" 2>&1; then
        pass "unit tests, $build build: $(grep -o '[0-9]* tests\?\.' "$work/unit-$build.txt" | tail -1)"
    else
        fail "unit tests, $build build"; grep -E 'FAILED|Failure' "$work/unit-$build.txt" | head -20
    fi
done
if wine "$win/default/tests/velk2_window_tests.exe" >"$work/window.txt" 2>&1; then
    pass "window tests: controls at the model's positions"
else
    fail "window tests"; cat "$work/window.txt" | tail -30
fi
if wine "$win/default/velk2-render-window.exe" "$(winepath -w "$work/window-windows.png")" \
    >/dev/null 2>&1 && [ -s "$work/window-windows.png" ]; then
    pass "window picture: $work/window-windows.png"
else
    fail "window picture"
fi

say "end-to-end runs against velk2-boxsim"
head -c 300000 /dev/urandom >"$work/fw300k.dsp"
head -c 150000 /dev/urandom >"$work/box-file.dsp"
head -c 3072 /dev/urandom >"$work/service.bin"
mkdir -p "$work/box230" "$work/box115"
start_box up230 --role bootloader --baud 230400 --pace --out "$work/box230" --once --timeout 240
up230=$box_pty
start_box up115 --role bootloader --baud 115200 --pace --out "$work/box115" --once --timeout 240
up115=$box_pty
start_box sender --role sender --baud 230400 --file "$work/box-file.dsp" --once --timeout 240
sender=$box_pty
start_box monitor --role monitor --dump "$work/monitor-dump.txt" --timeout 240
monitor=$box_pty
map_ports "COM1=$up230" "COM2=$up115" "COM3=$sender" "COM4=$monitor"
fw=$(winepath -w "$work/fw300k.dsp")

run_copy default up230 'VELK_(COM1).exe' "$fw"
if [ $status = 0 ] && cmp -s "$work/fw300k.dsp" "$work/box230/fw300k.dsp"; then
    pass "automatic upload at 230400: exit 0, the box holds exactly the file"
else
    fail "automatic upload at 230400: exit $status"; tail -5 "$work/up230.log"
fi

run_copy default up115 'VELK_(COM2).exe' "$fw"
# The box hears only 115200: the file arrives only after the loader's 230400
# attempt has fallen back.
if [ $status = 0 ] && cmp -s "$work/fw300k.dsp" "$work/box115/fw300k.dsp" &&
    grep -q "PC's end: sends at 230400" "$work/up115.log"; then
    pass "automatic upload falling back to 115200: exit 0, the box holds exactly the file"
else
    fail "upload with the 115200 fall-back: exit $status"; tail -5 "$work/up115.log"
fi

# The click comes through the window: BM_CLICK to the button's window
# (VELK2_CLICKS), the save name from the dialog script.
winepath -w "$work/download/saved.dsp" >"$work/answers.txt"
VELK2_CLICKS="cg1 close" VELK2_DIALOG_ANSWERS="$(winepath -w "$work/answers.txt")" \
    run_copy default download 'VELK_(COM3).exe'
if [ $status = 0 ] && cmp -s "$work/box-file.dsp" "$work/download/saved.dsp"; then
    pass "download started by a click on \"Download from Box\": the saved file is exact"
else
    fail "download by a click: exit $status"; tail -5 "$work/sender.log"
fi

VELK2_CLICKS=close VELK2_NO_DIALOGS=1 \
    run_copy service service 'VELK_(COM4).exe' "$(winepath -w "$work/service.bin")"
kill -TERM "$monitor_pid"; wait "$monitor_pid" || true
od -An -v -tx1 -w32 "$work/service.bin" | tr a-f A-F |
    awk '{ printf "%08X%s\n", 9306112 + (NR - 1) * 32, $0 }' >"$work/service-expected.txt"
if [ $status = 0 ] && diff -q "$work/service-expected.txt" "$work/monitor-dump.txt" >/dev/null &&
    head -c 2048 "$work/service.bin" | cmp -s - "$work/service/read2"; then
    pass "service upload of the service build: the file at 0x008E0000, read2 read back"
else
    fail "service upload: exit $status"; tail -5 "$work/monitor.log"
fi

# Automatic starts that cannot upload: the file named on the command line is
# missing. The box on COM5 must receive nothing; the stored file of an earlier
# run must not go out in its place. Unattended (VELK2_NO_DIALOGS=1) the run
# ends at once with 1 and names the file on standard error; played by a
# technician (messages printed, no unattended mode) the window stays open
# until it is closed, and the run still exits 1.
mkdir -p "$work/box-nofile" "$work/nofile"
start_box nofile --role bootloader --baud 230400 --out "$work/box-nofile" --once --timeout 240
map_ports "COM5=$box_pty"
wine reg add 'HKCU\Software\VELK2\LAST' /v ALL /t REG_SZ /d "$(winepath -w "$work/fw300k.dsp")" \
    /f >/dev/null 2>&1
missing=$(winepath -w "$work/nofile/missing.dsp")
VELK2_NO_DIALOGS=1 run_copy default autostart-unattended 'VELK_(COM5).exe' "$missing"
err=$work/autostart-unattended/stderr.txt
if [ $status = 1 ] && grep -qF "$missing" "$err" && ! grep -q '^do main' "$err" &&
    [ -z "$(ls -A "$work/box-nofile")" ]; then
    pass "unattended automatic start of a missing file: exit 1 at once, the path named, nothing sent"
else
    fail "unattended automatic start of a missing file: exit $status"; tail -5 "$err"
fi
: >"$work/no-answers.txt"
VELK2_CLICKS=close VELK2_DIALOG_ANSWERS="$(winepath -w "$work/no-answers.txt")" \
    run_copy default autostart-closed 'VELK_(COM5).exe' "$missing"
err=$work/autostart-closed/stderr.txt
if [ $status = 1 ] && grep -qF "$missing" "$err" && grep -q '^close 1' "$err" &&
    [ -z "$(ls -A "$work/box-nofile")" ]; then
    pass "window closed after a failed automatic start: exit 1, nothing sent"
else
    fail "window closed after a failed automatic start: exit $status"; tail -5 "$err"
fi
kill -TERM "$nofile_pid"; wait "$nofile_pid" || true
if grep -q received "$work/nofile.out"; then
    fail "the box of the failed automatic starts received a file"; cat "$work/nofile.out"
fi

echo "wine: $passes passed, $failures failed"
[ $failures = 0 ]
