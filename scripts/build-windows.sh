#!/usr/bin/env bash
# Builds the Windows programs (updater.exe, monitor.exe, fwtool.exe), their tests and
# benchmarks into build-windows/ (or the folder given) with MinGW-w64 and the static
# Qt and libcurl of scripts/build-qt-windows.sh, which builds them first when they are
# not in its cache (about 15 minutes). Each program is one executable that needs no
# DLL beyond Windows' own; ctest in the build folder runs the tests under wine64.
# The programs' bytes depend on the commit alone (RIVET_REPRODUCIBLE, SOURCE_DATE_EPOCH
# from scripts/source-date.sh). RIVET_WINDOWS_TARGETS="updater monitor fwtool" builds
# only those.
# Usage: scripts/build-windows.sh [build-dir] [cmake options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build-windows"}
shift || true

bash "$root/scripts/build-qt-windows.sh"
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
SOURCE_DATE_EPOCH=$("$root/scripts/source-date.sh")
export SOURCE_DATE_EPOCH
# The cross Qt has no Linguist tools: the host's lrelease makes the translation file.
cmake -S "$root" -B "$build" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DRIVET_WERROR=ON \
    -DQt5LinguistTools_DIR=/usr/lib/x86_64-linux-gnu/cmake/Qt5LinguistTools \
    -DCMAKE_CROSSCOMPILING_EMULATOR=/usr/lib/wine/wine64 -DRIVET_REPRODUCIBLE=ON \
    "${launcher[@]}" "$@"
# rcc writes SOURCE_DATE_EPOCH into the resources, but the build does not know it as an
# input: a folder built at another commit makes its resources again.
stamp="$build/source-date-epoch"
if [ "$(cat "$stamp" 2>/dev/null)" != "$SOURCE_DATE_EPOCH" ]; then
    find "$build" -path '*_autogen/*' -name 'qrc_*.cpp' -delete
    echo "$SOURCE_DATE_EPOCH" >"$stamp"
fi
targets=()
for target in ${RIVET_WINDOWS_TARGETS:-}; do targets+=(--target "$target"); done
cmake --build "$build" -j"$(nproc)" "${targets[@]}"

# Only Windows' own DLLs: nothing of MinGW, Qt or curl may be needed beside a program.
system_dlls='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|shell32|comdlg32|comctl32|winmm|ws2_32|imm32|dwmapi|uxtheme|version|netapi32|userenv|setupapi|hid|wtsapi32|shlwapi|msvcrt|mpr|crypt32|bcrypt|winspool\.drv|dwrite|d3d9|d3d11|dxgi|api-ms-win-[a-z0-9-]+)(\.dll)?$'
for program in updater/updater monitor/monitor fwtool/fwtool; do
    dlls=$(x86_64-w64-mingw32-objdump -p "$build/$program.exe" | sed -n 's/^\s*DLL Name: //p')
    if foreign=$(echo "$dlls" | grep -viE "$system_dlls"); then
        echo "build-windows: $program.exe needs $foreign" >&2
        exit 1
    fi
    echo "build-windows: $program.exe needs only $(echo "$dlls" | tr '\n' ' ')"
done
