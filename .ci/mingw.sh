#!/bin/sh
# Cross-builds the Qt-free platform layer for Windows with MinGW-w64, so that the
# Windows backend keeps compiling and linking although nobody builds on Windows here.
# Usage: .ci/mingw.sh [build-dir]   (default: build-mingw)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build-mingw"}

cmake -S "$root/tools/hidprobe" -B "$build" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" --target hidplatform hidprobe -j2
# A static executable must not need the MinGW runtime DLLs.
if x86_64-w64-mingw32-objdump -p "$build/hidprobe.exe" | grep -iE 'DLL Name: (libstdc|libgcc|libwinpthread)'; then
    echo "hidprobe.exe depends on MinGW runtime DLLs" >&2
    exit 1
fi
echo "mingw: hidplatform and hidprobe.exe built"
