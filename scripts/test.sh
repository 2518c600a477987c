#!/usr/bin/env bash
# Builds the delivered build and the service build and runs every test of both,
# on Linux and, cross-built, on Windows under wine: the four presets of
# CMakePresets.json (default, service, windows-default, windows-service), then
# the whole-program runs of the Windows builds against the box simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc 2>/dev/null || echo 2)
for preset in default service; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j"$jobs"
    echo "== tests of the $preset build"
    ctest --preset "$preset" -j"$jobs"
done
# The Windows builds, cross-built here; their test programs under wine.
bash scripts/build-windows.sh
echo "== tests of the windows-default build under wine"
ctest --preset windows-default -j"$jobs"
# velk2.exe itself against the box simulator of the Linux build.
echo "== the Windows program under wine"
bash tests/wine/run.sh build/velk2-boxsim
