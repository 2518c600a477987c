#!/usr/bin/env bash
# The Windows release under wine, as a technician without administrator
# rights gets it: the per-user MSI installed with msiexec /qn, the installed
# velk2.exe started with a quoted DSP file (an automatic upload to
# velk2-boxsim on COM5, the port of the last run), then uninstalled; the
# program, its folder and the Start-menu entry must be gone, the settings
# kept.
# Usage: tests/wine/installer.sh PATH/TO/velk2-<version>-windows-x64.msi PATH/TO/velk2-boxsim
msi=$(realpath "$1")
work=$(cd "$(dirname "$0")/../.." && pwd)/build-windows/installer
source "$(dirname "$0")/harness.sh" "$2"

say "the release installer under wine"
local_app=$(wine cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')
app_data=$(wine cmd /c 'echo %APPDATA%' 2>/dev/null | tr -d '\r')
program=$(winepath -u "$local_app\\Programs\\VELK2\\velk2.exe")
shortcut=$(winepath -u "$app_data\\Microsoft\\Windows\\Start Menu\\Programs\\VELK2.lnk")

head -c 60000 /dev/urandom >"$work/fw60k.dsp"
mkdir -p "$work/box"
start_box box --role bootloader --baud 230400 --out "$work/box" --once --timeout 120
map_ports "COM5=$box_pty"

set +e
wine msiexec /i "$(winepath -w "$msi")" /qn >"$work/install.txt" 2>&1
installed=$?
set -e
if [ $installed = 0 ] && [ -f "$program" ] && [ -f "$(dirname "$program")/README.txt" ] &&
    [ -f "$shortcut" ]; then
    pass "msiexec /i /qn: $local_app\\Programs\\VELK2\\velk2.exe and the Start-menu entry"
else
    fail "install: msiexec exit $installed"
    cat "$work/install.txt"
fi

# velk2.exe has no port in its name: the automatic upload takes the port of
# the last run.
wine reg add 'HKCU\Software\VELK2\LAST' /v PORT /t REG_SZ /d COM5 /f >/dev/null 2>&1
mkdir -p "$work/run"
run_line "$work/run" "\"$local_app\\Programs\\VELK2\\velk2.exe\" \"$(winepath -w "$work/fw60k.dsp")\""
if [ $status = 0 ] && cmp -s "$work/fw60k.dsp" "$work/box/fw60k.dsp"; then
    pass "the installed velk2.exe uploads a quoted DSP file on COM5: exit 0, the box holds it exactly"
else
    fail "the installed program's upload: exit $status"
    tail -5 "$work/box.log" "$work/run/stderr.txt"
fi

set +e
wine msiexec /x "$(winepath -w "$msi")" /qn >"$work/uninstall.txt" 2>&1
removed=$?
set -e
left=$(find "$(dirname "$program")" "$shortcut" 2>/dev/null || true)
if [ $removed = 0 ] && [ -z "$left" ] &&
    ! wine reg query 'HKCU\Software\VELK2\Installer' >/dev/null 2>&1 &&
    [ "$(wine reg query 'HKCU\Software\VELK2\LAST' /v PORT 2>/dev/null | grep -c COM5)" = 1 ]; then
    pass "msiexec /x /qn: the program, its folder and the Start-menu entry are gone, the settings kept"
else
    fail "uninstall: msiexec exit $removed, left: $left"
fi

echo "installer: $passes passed, $failures failed"
[ $failures = 0 ]
