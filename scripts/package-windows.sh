#!/usr/bin/env bash
# The Windows release, into the current folder:
#   velk2-<version>-windows-x64.zip  velk2.exe and the service build as
#       velk2-service.exe (both stripped) and README.txt for the technician
#   velk2-<version>-windows-x64.msi  a per-user installer (wixl): velk2.exe
#       and README.txt into %LOCALAPPDATA%\Programs\VELK2 without
#       administrator rights, a Start-menu entry, a clean uninstall
# Takes the builds of scripts/build-windows.sh, and makes them first when
# they are missing. The version is the one of CMakeLists.txt.
set -euo pipefail
out=$PWD
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/deps.sh zip wixl binutils-mingw-w64-x86-64
win=$root/build-windows
if [ ! -f "$win/default/velk2.exe" ] || [ ! -f "$win/service/velk2.exe" ]; then
    bash scripts/build-windows.sh
fi
version=$(sed -n 's/^project(velk2 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=velk2-$version-windows-x64
stage=$win/release/$name
rm -rf "$win/release"
mkdir -p "$stage"
x86_64-w64-mingw32-strip -o "$stage/velk2.exe" "$win/default/velk2.exe"
x86_64-w64-mingw32-strip -o "$stage/velk2-service.exe" "$win/service/velk2.exe"
# Notepad on older Windows wants CR LF.
sed "s/@VERSION@/$version/; s/\$/\r/" packaging/windows/README.txt >"$stage/README.txt"
rm -f "$out/$name.zip" "$out/$name.msi"
(cd "$win/release" && zip -q -X -r "$out/$name.zip" "$name")
# wixl takes the files named in the descriptor from the current folder.
(cd "$stage" && wixl -a x64 -D Version="$version" -o "$out/$name.msi" \
    "$root/packaging/windows/velk2.wxs")
ls -l "$out/$name.zip" "$out/$name.msi"
