#!/usr/bin/env bash
# Builds the Debian package velk2_<version>_<arch>.deb into the current folder,
# from the build of the preset default (build/, which scripts/test.sh leaves)
# or from the configured build folder given.
set -euo pipefail
out=$PWD
cd "$(dirname "$0")/.."
bash scripts/deps.sh
# CPack's DEB generator needs dpkg-shlibdeps (dpkg-dev) and file.
if ! command -v dpkg-shlibdeps >/dev/null || ! command -v file >/dev/null; then
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq dpkg-dev file >/dev/null
fi
dir=${1:-}
if [ -z "$dir" ]; then
    cmake --preset default >/dev/null
    dir=build
fi
cmake --build "$dir" -j"$(nproc 2>/dev/null || echo 2)" --target velk2 velk2-boxsim velk2-man-pages
rm -rf "$dir/package"
(cd "$dir" && cpack -G DEB -B "$PWD/package" >/dev/null)
cp "$dir"/package/velk2_*.deb "$out/"
ls "$out"/velk2_*.deb
