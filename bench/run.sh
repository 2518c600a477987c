#!/bin/sh
# Builds the benchmark programs in build-bench/ (Release) and runs the cases
# against the box simulator paced at the real line rate; prints a table.
#
#   bench/run.sh            all cases (about 12 minutes, see bench/README.md)
#   bench/run.sh quick      the 256 KiB cases and the 8 uploads at once (about 2 minutes)
#   bench/run.sh upload | download | parallel | turnaround | adapter | CASE...   (bench/run.sh --list)
#   bench/run.sh station    16 ports through `velk2 --station --no-window`: waiting, then flashing
#                           (about 40 s; not part of "all")
#
# VELK2_BENCH_LOADER=PATH runs the cases with that velk2 instead of the one
# built here (an older build, to compare); the simulator is always this one.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"

mkdir -p "$build"
log="$build/bench-build.log"
# The preset bench: build-bench/, Release, without the tests.
if ! (cd "$root" && cmake --preset bench >"$log" 2>&1 &&
    cmake --build --preset bench -j2 >>"$log" 2>&1); then
    cat "$log"
    echo "bench/run.sh: the build failed (log: $log)" >&2
    exit 1
fi

loader=${VELK2_BENCH_LOADER:-$build/velk2}
exec "$build/bench/velk2-bench" --velk2 "$loader" --boxsim "$build/velk2-boxsim" \
    --download-bench "$build/bench/velk2-download-bench" --work "$build/bench-work" "$@"
