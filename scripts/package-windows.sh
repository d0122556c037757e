#!/usr/bin/env bash
# Packs the Windows programs built by scripts/build-windows.sh into
#   rivet-tools-<version>-win64.zip        (the programs and file\Help, no installing)
#   rivet-tools-<version>-setup.exe        (NSIS installer, Program Files\Rivet)
# in the build folder (default build-windows/).
# Usage: scripts/package-windows.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build-windows"}
build=$(cd "$build" && pwd)

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "package-windows: no project version in $build" >&2; exit 1; }
name="rivet-tools-$version-win64"
stage="$build/package/$name"

rm -rf "$build/package"
mkdir -p "$stage/file"
for program in updater/updater monitor/monitor fwtool/fwtool; do
    x86_64-w64-mingw32-strip -o "$stage/$(basename "$program").exe" "$build/$program.exe"
done
cp -r "$root/updater/file/Help" "$stage/file/Help"

(cd "$build/package" && zip -qr "$build/$name.zip" "$name")
size_kb=$(du -sk "$stage" | cut -f1)
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DICONS="$root/packaging/icons" \
    -DSIZE_KB="$size_kb" -DOUTFILE="$build/rivet-tools-$version-setup.exe" \
    "$root/packaging/windows/rivet-tools.nsi"
ls -l "$build/$name.zip" "$build/rivet-tools-$version-setup.exe"
