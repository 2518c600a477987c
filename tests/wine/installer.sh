#!/usr/bin/env bash
# The Windows release under wine, as a technician without administrator
# rights gets it: the per-user MSI installed with msiexec /qn, the installed
# velk2.exe started with a quoted DSP file (an automatic upload to
# velk2-boxsim on COM5, the port of the last run), then uninstalled; the
# program, its folder and the Start-menu entries (VELK2, and VELK2 Station
# with the argument --station) must be gone, the settings kept.
# Usage: tests/wine/installer.sh PATH/TO/velk2-<version>-windows-x64.msi PATH/TO/velk2-boxsim
msi=$(realpath "$1")
work=$(cd "$(dirname "$0")/../.." && pwd)/build-windows/installer
source "$(dirname "$0")/harness.sh" "$2"

say "the release installer under wine"
local_app=$(wine cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')
app_data=$(wine cmd /c 'echo %APPDATA%' 2>/dev/null | tr -d '\r')
program=$(winepath -u "$local_app\\Programs\\VELK2\\velk2.exe")
shortcut=$(winepath -u "$app_data\\Microsoft\\Windows\\Start Menu\\Programs\\VELK2.lnk")
station=$(winepath -u "$app_data\\Microsoft\\Windows\\Start Menu\\Programs\\VELK2 Station.lnk")

# Whether shortcut $1 starts the installed velk2.exe with exactly the
# arguments $2 (ASCII): the .lnk holds them as a string of UTF-16 units
# after its count (wine counts and writes a final NUL too), found here among
# its bytes in hex.
starts_with_arguments() {
    local units="" hex i
    for ((i = 0; i < ${#2}; i++)); do units+=$(printf '%02x00' "'${2:i:1}"); done
    hex=$(od -An -v -tx1 "$1" | tr -d ' \n')
    grep -qE "$(printf '%02x00' "${#2}")$units|$(printf '%02x00' $((${#2} + 1)))${units}0000" \
        <<<"$hex" && grep -qia 'velk2\.exe' "$1"
}

head -c 60000 /dev/urandom >"$work/fw60k.dsp"
mkdir -p "$work/box"
start_box box --role bootloader --baud 230400 --out "$work/box" --once --timeout 120
map_ports "COM5=$box_pty"

set +e
wine msiexec /i "$(winepath -w "$msi")" /qn >"$work/install.txt" 2>&1
installed=$?
set -e
if [ $installed = 0 ] && [ -f "$program" ] && [ -f "$(dirname "$program")/README.txt" ] &&
    [ -f "$shortcut" ] && [ -f "$station" ]; then
    pass "msiexec /i /qn: $local_app\\Programs\\VELK2\\velk2.exe and the Start-menu entries"
else
    fail "install: msiexec exit $installed"
    cat "$work/install.txt"
fi

if [ -f "$station" ] && starts_with_arguments "$station" --station &&
    ! starts_with_arguments "$shortcut" --station; then
    pass "the Start-menu entry \"VELK2 Station\" starts velk2.exe --station"
else
    fail "the Start-menu entry \"VELK2 Station\" does not start velk2.exe --station"
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
left=$(find "$(dirname "$program")" "$shortcut" "$station" 2>/dev/null || true)
if [ $removed = 0 ] && [ -z "$left" ] &&
    ! wine reg query 'HKCU\Software\VELK2\Installer' >/dev/null 2>&1 &&
    [ "$(wine reg query 'HKCU\Software\VELK2\LAST' /v PORT 2>/dev/null | grep -c COM5)" = 1 ]; then
    pass "msiexec /x /qn: the program, its folder and the Start-menu entries are gone, the settings kept"
else
    fail "uninstall: msiexec exit $removed, left: $left"
fi

echo "installer: $passes passed, $failures failed"
[ $failures = 0 ]
