#!/bin/sh
# Cross-builds winecheck.exe (the Windows backend's checks that need no device of
# ours) with MinGW-w64 and runs it under wine64 in a prefix of its own.
# Usage: .ci/wine.sh [build-dir]   (default: build-mingw-wine)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build-mingw-wine"}
# wine takes only an absolute WINEPREFIX.
mkdir -p "$build"
build=$(cd "$build" && pwd)
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

cmake -S "$root/tests/wine" -B "$build" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" --target winecheck -j2
# wine has no MinGW runtime DLLs to offer.
if x86_64-w64-mingw32-objdump -p "$build/winecheck.exe" | grep -iE 'DLL Name: (libstdc|libgcc|libwinpthread)'; then
    echo "winecheck.exe depends on MinGW runtime DLLs" >&2
    exit 1
fi

WINEPREFIX="$build/wineprefix"
WINEDEBUG=-all
# No menu entries or file types of the prefix on the desktop of the user running this.
WINEDLLOVERRIDES=winemenubuilder.exe=d
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
mkdir -p "$WINEPREFIX"
# The wineserver outlives the program; it goes however the run ends.
trap '"$wineserver" -k 2>/dev/null || true' EXIT
sh "$root/.ci/wineprefix.sh"

log="$build/winecheck.log"
status=0
timeout 300 "$wine" "$build/winecheck.exe" >"$log" || status=$?
cat "$log"
if [ "$status" -ne 0 ]; then
    echo "wine: winecheck.exe exited with $status" >&2
    exit 1
fi
# Every part must really have run: no skipped reads, no failure, and the lines
# that show each part did its work.
if grep -qE '^(FAIL|skip)' "$log"; then
    echo "wine: a check failed or was skipped" >&2
    exit 1
fi
for line in \
    'ok enumeration sees the system.s HID interfaces' \
    'ok enumeration finds no 0483:0526 device' \
    'ok a read of a silent interface times out' \
    'ok a cancel from another thread ends a pending read' \
    'ok arrival decoded with its whole path' \
    'ok lower-case path kept as sent' \
    'ok a volume broadcast is not a device interface change' \
    'ok a name cut short by its size ends at the size' \
    'ok the process list holds winecheck.exe' \
    'winecheck: 0 failed'; do
    # wine writes its console output with CR LF line ends.
    if ! tr -d '\r' <"$log" | grep -q "^$line"; then
        echo "wine: missing \"$line\"" >&2
        exit 1
    fi
done
echo "wine: winecheck.exe passed"
