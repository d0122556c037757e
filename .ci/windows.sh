#!/usr/bin/env bash
# The Windows programs: builds them (and the static Qt and libcurl when not cached),
# runs the test suite under wine64 on Qt's offscreen platform, the flash benchmark,
# and the installer's silent install, upgrade, start and uninstall in a new wine prefix.
# Usage: .ci/windows.sh [build-dir]   (default: build-windows)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build-windows"}
started=$(date +%s)
step() { echo "== windows: $1 ($(($(date +%s) - started)) s)"; }
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

step "build"
bash "$root/scripts/build-windows.sh" "$build"
build=$(cd "$build" && pwd)

# A new prefix each run, made and settled before anything runs in it.
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
# No menu entries or file types of the prefix on the desktop of the user running this.
export WINEDLLOVERRIDES=winemenubuilder.exe=d
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
xvfb_pid=""
cleanup() {
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
    [ -z "${ftp_pid:-}" ] || kill "$ftp_pid" 2>/dev/null || true
    "$wineserver" -k 2>/dev/null || true
}
trap cleanup EXIT
step "wine prefix"
sh "$root/.ci/wineprefix.sh"

step "tests under wine"
# wine hands no QT_* variable of Linux to Windows programs, but WINEQT_* ones under
# their QT_* names: the tests' offscreen platform, and the one folder it reads fonts
# from, here Debian's Latin default as on Linux and a Chinese one.
rm -rf "$build/fonts"
mkdir -p "$build/fonts"
ln -s /usr/share/fonts/truetype/dejavu/*.ttf /usr/share/fonts/truetype/wqy/*.ttc "$build/fonts/"
export WINEQT_QPA_PLATFORM=offscreen WINEQT_QPA_FONTDIR="Z:$build/fonts"
# QtTest writes its report with OutputDebugString when it sees no console: show it.
export WINEDEBUG=-all,+debugstr
(cd "$build" && ctest --output-on-failure -j2 --timeout 600 -E '^tst_online')
# A Windows program under wine can neither start nor stop Linux's python, so each online
# test gets its FTP server from here, on an empty folder of its own.
ftp_pid=""
for test in tst_onlinetransfers tst_onlinewindow; do
    served=$(mktemp -d "$build/ftproot.XXXXXX")
    port_file="$served.port"
    /usr/bin/python3 -u "$root/tests/online/ftpserver.py" "$served" >"$port_file" &
    ftp_pid=$!
    for _ in $(seq 100); do [ -s "$port_file" ] && break; sleep 0.1; done
    (cd "$build" && RIVET_FTP_PORT=$(head -1 "$port_file") RIVET_FTP_ROOT="Z:$served" \
        ctest --output-on-failure --timeout 600 -R "^$test\$")
    kill "$ftp_pid"
    wait "$ftp_pid" 2>/dev/null || true
    ftp_pid=""
    rm -rf "$served" "$port_file"
done

step "flash benchmark under wine"
pace=$(cd "$build/bench" && timeout 600 "$wine" ./flash_pace.exe | tr -d '\r')
echo "$pace"
echo "$pace" | grep -q '^received images match the file: yes$'
echo "$pace" | sed -n 's/^flash_pace_ratio: /flash_pace_ratio_wine: /p'

step "package"
bash "$root/scripts/package-windows.sh" "$build"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
setup="$build/rivet-tools-$version-setup.exe"

step "silent install, upgrade, start and uninstall"
drive_c="$WINEPREFIX/drive_c"
installed="$drive_c/Program Files/Rivet"
menu="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Rivet"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\RivetTools'
ours=("$installed" "$menu")
fail() { echo "windows: $1" >&2; exit 1; }

# The second run is an upgrade in place over the first.
for run in install upgrade; do
    timeout 300 "$wine" "$setup" /S
    "$wineserver" -w
    for file in updater.exe monitor.exe fwtool.exe uninstall.exe file/Help/Base_En.jpg; do
        [ -f "$installed/$file" ] || fail "$run: $file is not installed"
    done
    for link in "Rivet firmware updater.lnk" "Rivet device monitor.lnk"; do
        [ -f "$menu/$link" ] || fail "$run: no start-menu shortcut $link"
    done
    "$wine" reg query "$key" /v InstallLocation >/dev/null || fail "$run: not registered for removal"
done

# The installed updater, on the emulated device, shows its window and stays up until
# it is stopped.
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
display=":$(cat "$display_file")"
rm -f "$display_file"
DISPLAY=$display HIDLINK_BACKEND=emulator WINEDEBUG=-all WINEQT_QPA_PLATFORM=windows "$wine" "C:\\Program Files\\Rivet\\updater.exe" &
updater_pid=$!
shown=""
for _ in $(seq 60); do
    if xwininfo -display "$display" -root -tree 2>/dev/null | grep -q '"Rivet'; then
        shown=yes
        break
    fi
    sleep 0.5
done
[ -n "$shown" ] || fail "the installed updater.exe showed no window"
sleep 3
kill -0 "$updater_pid" 2>/dev/null || fail "the installed updater.exe did not stay up"
kill "$updater_pid"
wait "$updater_pid" 2>/dev/null || true
kill "$xvfb_pid"
xvfb_pid=""
"$wineserver" -w

# The uninstaller copies itself away and returns at once: wait for the prefix to idle.
timeout 300 "$wine" "C:\\Program Files\\Rivet\\uninstall.exe" /S
"$wineserver" -w
for path in "${ours[@]}"; do
    [ ! -e "$path" ] || fail "uninstall left $path: $(find "$path" | head -5)"
done
if "$wine" reg query "$key" >/dev/null 2>&1; then
    fail "uninstall left the registry key $key"
fi
if grep -qi 'rivet' "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg"; then
    fail "uninstall left registry values naming Rivet: $(grep -i rivet "$WINEPREFIX"/*.reg | head -5)"
fi
ls -l "$setup" "$build/rivet-tools-$version-win64.zip"
step "done"
