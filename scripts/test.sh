#!/usr/bin/env bash
# Builds the delivered build and the service build and runs every test of both,
# on Linux and, cross-built, on Windows under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc 2>/dev/null || echo 2)
for variant in default service; do
    dir=build-ci-$variant
    opts=()
    [ "$variant" = service ] && opts+=(-DVELK2_SERVICE_MODE=ON)
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${opts[@]}" >/dev/null
    cmake --build "$dir" -j"$jobs"
    echo "== tests of the $variant build"
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$dir" -j"$jobs" --output-on-failure
done
# The Windows builds, cross-built here and tested under wine against the box
# simulator of the Linux build.
bash scripts/build-windows.sh
echo "== tests of the Windows builds under wine"
bash tests/wine/run.sh build-ci-default/velk2-boxsim
