#!/usr/bin/env bash
# Cross-builds the Windows program with mingw-w64 through the presets
# windows-default and windows-service: build-windows/default/velk2.exe (the
# delivered build) and build-windows/service/velk2.exe (the service build),
# each one static .exe with its resources (icon, version, manifest: checked
# here); the unit and window tests in the default build. The service build's
# own unit tests are left to a maintainer (the service code's tests run in
# the Linux service build, its program under wine in tests/wine/run.sh),
# which keeps CI within its time:
#   cmake --build --preset windows-service && ctest --preset windows-service
# Installs what is missing (also wine, Xvfb and xdpyinfo for the tests under
# wine, rsvg-convert and icotool for the icon) with apt-get. The tests:
#   ctest --preset windows-default
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh cmake ninja-build g++-mingw-w64-x86-64-posix libgtest-dev wine wine64 xvfb \
    x11-utils librsvg2-bin icoutils libxml2-utils

# The .exe is copied around on its own (per-port copies): it may need
# nothing but the DLLs that every Windows has.
system_dlls='^(kernel32|user32|gdi32|advapi32|setupapi|comctl32|comdlg32|ole32|oleaut32|shell32|msvcrt|windowscodecs)\.dll$'
jobs=$(nproc 2>/dev/null || echo 2)
version=$(sed -n 's/^project(velk2 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

# The resources as Explorer reads them: the icon at 16, 32, 48 and 256 px,
# the version of CMakeLists.txt, and the manifest's entries.
check_resources() {
    local exe=$1 problems=()
    local sizes ico
    ico=$(mktemp)
    wrestool -x -t14 "$exe" >"$ico" 2>/dev/null || true
    sizes=$(icotool -l "$ico" 2>/dev/null | sed -n 's/.*--width=\([0-9]*\).*/\1/p' | tr '\n' ' ')
    rm -f "$ico"
    [ "$sizes" = "16 32 48 256 " ] || problems+=("icon sizes '$sizes'")
    local info
    info=$(wrestool -x --raw -t16 "$exe" 2>/dev/null | iconv -f UTF-16LE -t UTF-8 2>/dev/null |
        tr -c '[:print:]' '\n')
    for field in ProductName FileVersion ProductVersion OriginalFilename; do
        grep -qx "$field" <<<"$info" || problems+=("no $field")
    done
    grep -qx "$version" <<<"$info" || problems+=("version is not $version")
    local manifest
    manifest=$(wrestool -x --raw -t24 "$exe" 2>/dev/null)
    for entry in 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' \
        'level="asInvoker"' '>PerMonitorV2' '>true/pm<' \
        '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}' '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'; do
        grep -qF "$entry" <<<"$manifest" || problems+=("manifest lacks $entry")
    done
    if [ ${#problems[@]} -gt 0 ]; then
        echo "$exe: the resources are not as built:"
        printf '  %s\n' "${problems[@]}"
        exit 1
    fi
    echo "== $exe: icon (16, 32, 48, 256 px), version $version, manifest"
}
for variant in default service; do
    dir=build-windows/$variant
    cmake --preset "windows-$variant" >/dev/null
    targets=()
    [ "$variant" = service ] && targets=(--target velk2)
    cmake --build --preset "windows-$variant" -j"$jobs" "${targets[@]}"
    foreign=$(x86_64-w64-mingw32-objdump -p "$dir/velk2.exe" | awk '/DLL Name:/ { print $3 }' |
        grep -viE "$system_dlls" || true)
    if [ -n "$foreign" ]; then
        echo "$dir/velk2.exe needs DLLs that Windows does not have: $foreign"
        exit 1
    fi
    echo "== $dir/velk2.exe: static, system DLLs only"
    check_resources "$dir/velk2.exe"
done
