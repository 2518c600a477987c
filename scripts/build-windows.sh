#!/usr/bin/env bash
# Cross-builds the Windows program with mingw-w64: build-windows/default/velk2.exe
# (the delivered build) and build-windows/service/velk2.exe (the service build),
# each one static .exe with its unit tests; the window tests and
# velk2-render-window.exe in the default build. Installs what is missing
# (also wine and Xvfb for tests/wine/run.sh) with apt-get.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh cmake ninja-build g++-mingw-w64-x86-64-posix libgtest-dev wine wine64 xvfb

# The .exe is copied around on its own (per-port copies): it may need
# nothing but the DLLs that every Windows has.
system_dlls='^(kernel32|user32|gdi32|advapi32|setupapi|comctl32|comdlg32|ole32|oleaut32|shell32|msvcrt|windowscodecs)\.dll$'
jobs=$(nproc 2>/dev/null || echo 2)
for variant in default service; do
    dir=build-windows/$variant
    opts=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release)
    targets=(velk2 velk2_tests)
    if [ "$variant" = service ]; then
        opts+=(-DVELK2_SERVICE_MODE=ON)
    else
        targets+=(velk2_window_tests velk2-render-window)
    fi
    cmake -S . -B "$dir" -G Ninja "${opts[@]}" >/dev/null
    cmake --build "$dir" -j"$jobs" --target "${targets[@]}"
    foreign=$(x86_64-w64-mingw32-objdump -p "$dir/velk2.exe" | awk '/DLL Name:/ { print $3 }' |
        grep -viE "$system_dlls" || true)
    if [ -n "$foreign" ]; then
        echo "$dir/velk2.exe needs DLLs that Windows does not have: $foreign"
        exit 1
    fi
    echo "== $dir/velk2.exe: static, system DLLs only"
done
