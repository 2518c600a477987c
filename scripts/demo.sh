#!/usr/bin/env bash
# The main job on the simulated box: uploads samples/sample.dsp unattended to
# velk2-boxsim on a pseudo-terminal paced at 230400 baud, then tells whether
# the box received exactly the file. With VELK2_BIN set (e.g. /usr/bin after
# installing the package) it runs the programs there instead of building them.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bin=${VELK2_BIN:-}
if [ -z "$bin" ]; then
    bash scripts/deps.sh || exit 1
    cmake --preset default >/dev/null || exit 1
    cmake --build --preset default -j"$(nproc 2>/dev/null || echo 2)" --target velk2 velk2-boxsim ||
        exit 1
    bin=$root/build
fi

work=$(mktemp -d /tmp/velk2-demo-XXXXXX)
mkdir -p "$work/box" "$work/config"
sample="$root/samples/sample.dsp"

"$bin/velk2-boxsim" --role bootloader --baud 230400 --pace --out "$work/box" --once \
    >"$work/box.out" 2>"$work/box.log" &
box=$!
trap 'kill $box 2>/dev/null' EXIT
for _ in $(seq 200); do [ -s "$work/box.out" ] && break; sleep 0.05; done
slave=$(head -n 1 "$work/box.out")
if [ -z "$slave" ]; then echo "the box simulator did not start; see $work/box.log"; exit 1; fi

# A window where a display exists; offscreen (dialogs printed) where none does.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    export QT_QPA_PLATFORM=offscreen VELK2_NO_DIALOGS=1
fi

echo "box on $slave (230400 baud, paced); $bin/velk2 uploading $(basename "$sample")"
start=$(date +%s.%N)
(cd "$work" && VELK2_COM1="$slave" XDG_CONFIG_HOME="$work/config" \
    "$bin/velk2" "(COM1){$sample}" 2>"$work/velk2.log")
status=$?
end=$(date +%s.%N)
wait $box 2>/dev/null
trap - EXIT

received="$work/box/$(basename "$sample")"
size=$(stat -c %s "$sample")
seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')
if [ -f "$received" ] && cmp -s "$sample" "$received"; then
    echo "box received exactly the file: yes, $size bytes in ${seconds} s (loader exit status $status)"
    exit 0
fi
echo "box received exactly the file: NO (loader exit status $status); logs in $work"
exit 1
