#!/usr/bin/env bash
# Whole runs of the Windows program under wine on Xvfb (its test programs
# run in CTest: ctest --preset windows-default):
# the options, --ports, and velk2.exe against velk2-boxsim on pseudo-terminals
# that wine maps to COM ports (see wine_setup.sh), each started by cmd.exe
# from a command line as a technician types it:
#   COM1  the file unquoted: the window opens and nothing is sent; then
#         quoted: an automatic upload of 300 000 bytes at 230400
#   COM2  the same upload to a box at 115200 (the fall-back)
#   COM3  a download started by a click on "Download from Box"
#   COM4  the service build's service upload, landing at 0x008E0000
#   COM5  a download from a box that sends block 5 twice (the file is exact)
#   COM6  a download from a box that swaps blocks 5 and 6 (nothing is saved)
#   COM5  automatic starts whose named file is missing: nothing may arrive
#   COM7  the station's worker fed through a pipe; COM8 a box that never comes
#   COM1, COM2  the station without a window flashing a box on each
# Usage: tests/wine/run.sh PATH/TO/velk2-boxsim
source "$(dirname "$0")/harness.sh" "$1"

# velk2.exe of one build copied under a per-port name into $work/$2 and
# started there with the command-line text $4 after its name (quotes and
# all); exit status in $status.
run_copy() {
    local build=$1 dir=$work/$2 name=$3 tail=${4:-}
    mkdir -p "$dir"
    cp "$win/$build/velk2.exe" "$dir/$name"
    run_line "$dir" "\"$name\" $tail"
}

# A made-up FTDI port in the Device Manager's registry (the ports class, as
# SetupAPI reads it): PORT, its latency timer in ms. No device is behind it;
# which device a COM port opens is still the mapping above.
fake_key='HKLM\System\CurrentControlSet\Enum\ROOT\PORTS\0042'
fake_ftdi_port() {
    local k=$fake_key
    wine reg add "$k" /v ClassGUID /t REG_SZ /d '{4d36e978-e325-11ce-bfc1-08002be10318}' /f
    wine reg add "$k" /v FriendlyName /t REG_SZ /d "USB Serial Port ($1)" /f
    wine reg add "$k" /v Service /t REG_SZ /d FTDIBUS /f
    wine reg add "$k" /v HardwareID /t REG_MULTI_SZ /d 'FTDIBUS\COMPORT&VID_0403&PID_6001' /f
    wine reg add "$k\Device Parameters" /v PortName /t REG_SZ /d "$1" /f
    wine reg add "$k\Device Parameters" /v LatencyTimer /t REG_DWORD /d "$2" /f
} >/dev/null 2>&1
drop_fake_port() { wine reg delete "$fake_key" /f >/dev/null 2>&1 || true; }

say "options"
map_ports
version=$(sed -n 's/^project(velk2 VERSION \([0-9]*\.[0-9]*\).*/\1/p' CMakeLists.txt)
out=$(wine "$win/default/velk2.exe" --version 2>/dev/null) && status=0 || status=$?
out=${out%$'\r'} # the text comes with Windows line ends
if [ $status = 0 ] && [ "$out" = "velk2 $version" ] &&
    wine "$win/default/velk2.exe" --help 2>/dev/null | grep -qF '"C:\fw\x.dsp"'; then
    pass "velk2.exe --version prints \"velk2 $version\", --help the quoted forms"
else
    fail "velk2.exe --version / --help: exit $status, '$out'"
fi

# velk2.exe is a window program: its --ports text must still reach a file
# its standard output is redirected to.
fake_ftdi_port COM42 16
set +e
wine "$win/default/velk2.exe" --ports >"$work/ports.txt" 2>"$work/ports-err.txt"
status=$?
set -e
drop_fake_port
hint="the latency timer holds every reply up to 16 ms and costs speed; set 1 ms: Device Manager"
if [ $status = 0 ] &&
    grep -q '^  COM42  USB Serial Port (COM42)  (FTDIBUS, latency timer 16 ms)' "$work/ports.txt" &&
    grep -q "$hint" "$work/ports.txt"; then
    pass "velk2.exe --ports into a file: a made-up FTDI port with its latency timer and the hint"
else
    fail "velk2.exe --ports: exit $status"; cat "$work/ports.txt" "$work/ports-err.txt"
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

# Unquoted, the path is not read: the window opens (closed here by its close
# box) and the box hears nothing.
VELK2_CLICKS=close run_copy default unquoted 'VELK_(COM1).exe' "$fw"
if [ $status = 0 ] && [ -z "$(ls -A "$work/box230")" ] &&
    grep -q "do main" "$work/unquoted/stderr.txt"; then
    pass "VELK_(COM1).exe $fw (unquoted): the window, no upload, exit 0"
else
    fail "unquoted argument: exit $status"
    ls "$work/box230"
fi

# COM1 listed as an FTDI adapter at 16 ms: the upload says so when it starts.
fake_ftdi_port COM1 16
run_copy default up230 'VELK_(COM1).exe' "\"$fw\""
drop_fake_port
if [ $status = 0 ] && cmp -s "$work/fw300k.dsp" "$work/box230/fw300k.dsp"; then
    pass "VELK_(COM1).exe \"$fw\": uploaded at 230400, exit 0, the box holds exactly the file"
else
    fail "automatic upload at 230400: exit $status"
    tail -5 "$work/up230.log"
fi
if grep -q "COM1 .*$hint" "$work/up230/stderr.txt"; then
    pass "an upload on an FTDI port with a 16-ms latency timer gives the hint"
else
    fail "no latency hint at the upload"; tail -5 "$work/up230/stderr.txt"
fi

run_copy default up115 'VELK_(COM2).exe' "\"$fw\""
# The box hears only 115200: the file arrives only after the loader's 230400
# attempt has fallen back.
if [ $status = 0 ] && cmp -s "$work/fw300k.dsp" "$work/box115/fw300k.dsp" &&
    grep -q "PC's end: sends at 230400" "$work/up115.log"; then
    pass "automatic upload falling back to 115200: exit 0, the box holds exactly the file"
else
    fail "upload with the 115200 fall-back: exit $status"
    tail -5 "$work/up115.log"
fi

# The click comes through the window: BM_CLICK to the button's window
# (VELK2_CLICKS), the save name from the dialog script.
winepath -w "$work/download/saved.dsp" >"$work/answers.txt"
VELK2_CLICKS="cg1 close" VELK2_DIALOG_ANSWERS="$(winepath -w "$work/answers.txt")" \
    run_copy default download 'VELK_(COM3).exe'
if [ $status = 0 ] && cmp -s "$work/box-file.dsp" "$work/download/saved.dsp"; then
    pass "download started by a click on \"Download from Box\": the saved file is exact"
else
    fail "download by a click: exit $status"
    tail -5 "$work/sender.log"
fi

# ---- Download block checks: a repeated block is taken once, blocks out of
# order save nothing. The ports are mapped anew for this block alone.
say "downloads from boxes that repeat or swap a block"
start_box repeat --role sender --baud 230400 --file "$work/box-file.dsp" --once --timeout 240 \
    --fault repeat-block=5
repeat_pty=$box_pty
start_box swap --role sender --baud 230400 --file "$work/box-file.dsp" --timeout 240 \
    --fault swap-blocks=5
swap_pty=$box_pty
map_ports "COM5=$repeat_pty" "COM6=$swap_pty"
winepath -w "$work/download-repeat/saved.dsp" >"$work/answers-repeat.txt"
VELK2_CLICKS="cg1 close" VELK2_DIALOG_ANSWERS="$(winepath -w "$work/answers-repeat.txt")" \
    run_copy default download-repeat 'VELK_(COM5).exe'
if [ $status = 0 ] && cmp -s "$work/box-file.dsp" "$work/download-repeat/saved.dsp" &&
    grep -q "fault: block 5 again" "$work/repeat.log"; then
    pass "download from a box that sends block 5 twice: the saved file is exact"
else
    fail "download with a repeated block: exit $status"; tail -5 "$work/repeat.log"
fi
winepath -w "$work/download-swap/saved.dsp" >"$work/answers-swap.txt"
VELK2_CLICKS="cg1 close" VELK2_DIALOG_ANSWERS="$(winepath -w "$work/answers-swap.txt")" \
    run_copy default download-swap 'VELK_(COM6).exe'
kill -TERM "$swap_pid"; wait "$swap_pid" || true
# An interactive run that the window's close ends exits 0, whatever the
# download did.
if [ $status = 0 ] && [ ! -e "$work/download-swap/saved.dsp" ] &&
    ! ls "$work/download-swap" | grep -q 'velk2-part' &&
    grep -q "The download stopped: block 5 of 147 was expected (number 05 FA), the box sent number 06 F9" \
        "$work/download-swap/stderr.txt"; then
    pass "download from a box that swaps blocks 5 and 6: nothing saved, the message names the block"
else
    fail "download with swapped blocks: exit $status"; tail -5 "$work/download-swap/stderr.txt"
fi
map_ports "COM4=$monitor"
# ---- end of the download block checks

VELK2_CLICKS=close VELK2_NO_DIALOGS=1 \
    run_copy service service 'VELK_(COM4).exe' "\"$(winepath -w "$work/service.bin")\""
kill -TERM "$monitor_pid"
wait "$monitor_pid" || true
od -An -v -tx1 -w32 "$work/service.bin" | tr a-f A-F |
    awk '{ printf "%08X%s\n", 9306112 + (NR - 1) * 32, $0 }' >"$work/service-expected.txt"
if [ $status = 0 ] && diff -q "$work/service-expected.txt" "$work/monitor-dump.txt" >/dev/null &&
    head -c 2048 "$work/service.bin" | cmp -s - "$work/service/read2"; then
    pass "service upload of the service build: the file at 0x008E0000, read2 read back"
else
    fail "service upload: exit $status"
    tail -5 "$work/monitor.log"
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
VELK2_NO_DIALOGS=1 run_copy default autostart-unattended 'VELK_(COM5).exe' "\"$missing\""
err=$work/autostart-unattended/stderr.txt
if [ $status = 1 ] && grep -qF "$missing" "$err" && ! grep -q '^do main' "$err" &&
    [ -z "$(ls -A "$work/box-nofile")" ]; then
    pass "unattended automatic start of a missing file: exit 1 at once, the path named, nothing sent"
else
    fail "unattended automatic start of a missing file: exit $status"; tail -5 "$err"
fi
: >"$work/no-answers.txt"
VELK2_CLICKS=close VELK2_DIALOG_ANSWERS="$(winepath -w "$work/no-answers.txt")" \
    run_copy default autostart-closed 'VELK_(COM5).exe' "\"$missing\""
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

say "the station's worker: velk2.exe --worker fed through a pipe"
head -c 30000 /dev/urandom >"$work/worker.dsp"
hash=$(sha256sum "$work/worker.dsp" | cut -d' ' -f1)
mkdir -p "$work/box-worker" "$work/worker"
# The box asks again for 1 s after its upload; the worker's quiet phase
# waits that out. The box on COM8 never comes.
start_box worker --role bootloader --out "$work/box-worker" --number-files --restart-for 1 \
    --timeout 60
worker_pty=$box_pty
start_box absent --role bootloader --out "$work/box-worker" --appear-after 60 --timeout 60
map_ports "COM7=$worker_pty" "COM8=$box_pty"
worker() { # PORT: velk2.exe --worker PORT on its standard input, in $work/worker
    (cd "$work/worker" && timeout 60 wine "$win/default/velk2.exe" --worker "$1" --name fw.dsp \
        --size 30000 --sha256 "$hash" --quiet 1.5 >out.txt 2>err.txt)
}
# The input stays open after the data until the worker has ended.
exec {feed}< <(cat "$work/worker.dsp"; exec sleep 60)
feeder=$!
set +e
worker COM7 <&$feed
status=$?
set -e
exec {feed}<&-
kill "$feeder" 2>/dev/null || true
out=$work/worker/out.txt
steps=$(tr -d '\r' <"$out" | awk '$1 == "result" { print $1, $2; next }
    $1 != "flashing" || $2 == 0 || $2 == $3')
expected="ready 30000 $hash
waiting \\\\.\\COM7
flashing 0 30000 230400
flashing 30000 30000 230400
result done
quiet"
if [ $status = 0 ] && [ "$steps" = "$expected" ] && [ "$(grep -c $'\r$' "$out")" = "$(wc -l <"$out")" ] &&
    [ "$(ls "$work/box-worker")" = 1-fw.dsp ] && cmp -s "$work/worker.dsp" "$work/box-worker/1-fw.dsp"; then
    pass "velk2.exe --worker COM7: ready, waiting, flashing, result done, quiet (CRLF), exit 0;" \
        "the box holds exactly the file, flashed once"
else
    fail "velk2.exe --worker COM7: exit $status"; cat "$out" "$work/worker/err.txt"; ls "$work/box-worker"
fi
# The end of the input while it waits is the station's stop; an end before
# all the data is no stop but the reason it cannot start.
started=$(date +%s%N)
set +e
(cat "$work/worker.dsp"; sleep 2) | worker COM8
status=$?
set -e
took_ms=$((($(date +%s%N) - started) / 1000000))
if [ $status = 1 ] && [ "$(tr -d '\r' <"$out")" = "ready 30000 $hash
waiting \\\\.\\COM8" ] && [ $took_ms -lt 8000 ]; then
    pass "velk2.exe --worker COM8 whose input ends while it waits: stopped after $took_ms ms, exit 1"
else
    fail "velk2.exe --worker COM8, input ended while waiting: exit $status after $took_ms ms"
    cat "$out" "$work/worker/err.txt"
fi
set +e
head -c 1000 "$work/worker.dsp" | worker COM8
status=$?
set -e
if [ $status = 1 ] && [ "$(tr -d '\r' <"$out")" = "error upload data ended after 1000 of 30000 bytes" ]; then
    pass "velk2.exe --worker with its data cut short: the error line, exit 1"
else
    fail "velk2.exe --worker, data cut short: exit $status"; cat "$out" "$work/worker/err.txt"
fi
kill -TERM "$worker_pid" "$absent_pid" 2>/dev/null || true

say "the station without a window: a box on COM1 and a later one on COM2"
head -c 30000 /dev/urandom >"$work/station.dsp"
hash=$(sha256sum "$work/station.dsp" | cut -d' ' -f1)
mkdir -p "$work/box-st1" "$work/box-st2"
# Each box asks again for 1 s after its flash, then leaves; the second comes
# only after the first has asked again, which the quiet time must not answer.
start_box st1 --role bootloader --out "$work/box-st1" --appear-after 0.5 --restart-for 1 \
    --number-files --timeout 60
st1=$box_pty
start_box st2 --role bootloader --out "$work/box-st2" --appear-after 9 --restart-for 1 \
    --number-files --timeout 60
map_ports "COM1=$st1" "COM2=$box_pty"
run_copy default station velk2.exe \
    "--station --no-window --file \"$(winepath -w "$work/station.dsp")\" COM1 COM2 --count 2"
out=$work/station/stdout.txt
# The record in the prefix keeps earlier runs: this run's lines carry its hash.
log=$(winepath -u "$(sed -n 's/^Flash log: //p' "$out" | tr -d '\r')" 2>/dev/null || true)
done_ports=$({ grep -F ",$hash,done," "$log" 2>/dev/null || true; } | cut -d, -f2 | sort | tr '\n' ' ')
if [ $status = 0 ] && grep -q '^Station: 2 attempts, 2 done, 0 failed, 0 stopped' "$out" &&
    [ "$done_ports" = "COM1 COM2 " ] &&
    [ "$(ls "$work/box-st1")$(ls "$work/box-st2")" = 1-station.dsp1-station.dsp ] &&
    cmp -s "$work/station.dsp" "$work/box-st1/1-station.dsp" &&
    cmp -s "$work/station.dsp" "$work/box-st2/1-station.dsp"; then
    pass "velk2.exe --station --no-window COM1 COM2 --count 2: both boxes hold exactly the file," \
        "flashed once, two done lines in the record, exit 0"
else
    fail "velk2.exe --station --no-window COM1 COM2: exit $status, done on '$done_ports'"
    cat "$out" "$work/station/stderr.txt"; ls "$work/box-st1" "$work/box-st2"
fi
kill -TERM "$st1_pid" "$st2_pid" 2>/dev/null || true

echo "wine: $passes passed, $failures failed"
[ $failures = 0 ]
