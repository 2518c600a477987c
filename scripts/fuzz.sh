#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for the
# given number of seconds (default 20), starting from its seeds in
# tests/fuzz/corpus/<target>/. Inputs that find new paths collect in
# build-fuzz/corpus/<target>/ and are used again by the next run; a crash, a
# sanitizer report, a failed check or a hang stops the script with a non-zero
# status and leaves the input in build-fuzz/crashes/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}

if ! command -v clang++ >/dev/null ||
    ! compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null; then
    echo "installing: clang libclang-rt-dev llvm"
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq clang libclang-rt-dev llvm >/dev/null
fi

jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$jobs"

# The downloads save with fsync: a folder in memory keeps the runs fast.
[ -d /dev/shm ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm
mkdir -p build-fuzz/crashes
for target in ymodem_header download monitor; do
    mkdir -p "build-fuzz/corpus/$target"
    echo "== fuzz_$target for ${seconds} s"
    "build-fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
        -artifact_prefix="build-fuzz/crashes/$target-" \
        "build-fuzz/corpus/$target" "tests/fuzz/corpus/$target"
done
