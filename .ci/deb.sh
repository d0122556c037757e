#!/bin/sh
# Builds the Debian package, lints it, installs it on this machine (run as root),
# checks that the programs run from where it puts them, then removes and purges it
# and checks that nothing of it is left.
# Usage: .ci/deb.sh [build-dir]   (default: build-deb)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build-deb"}
name=rivet-tools
fail() {
    echo "deb: $*" >&2
    exit 1
}
installed() { [ "$(dpkg-query -W -f '${db:Status-Status}' "$name" 2>/dev/null)" = installed ]; }

[ "$(id -u)" -eq 0 ] || fail "must run as root (it installs the package)"
installed && fail "$name is already installed here; remove it first"

deb=$(bash "$root/scripts/package-linux.sh" "$build")
echo "deb: $(basename "$deb"): $(stat -c %s "$deb") bytes"

# Every warning and every error fails; nothing is overridden.
lintian --fail-on error,warning "$deb" || fail "lintian reports errors or warnings"
version=$(dpkg-deb -f "$deb" Version)

cleanup() {
    if dpkg-query -W "$name" >/dev/null 2>&1; then
        dpkg -P "$name" >/dev/null || true
    fi
}
trap cleanup EXIT
dpkg -i "$deb"
files=$(dpkg -L "$name")

for program in updater monitor fwtool; do
    [ "$(command -v "$program")" = "/usr/bin/$program" ] ||
        fail "$program on PATH is '$(command -v "$program" || true)', not /usr/bin/$program"
done
for program in updater monitor; do
    [ "$(readlink -f "/usr/bin/$program")" = "/usr/libexec/rivet/$program" ] ||
        fail "/usr/bin/$program does not lead to /usr/libexec/rivet/$program"
done

status=0
help=$(fwtool --help 2>&1) || status=$?
[ "$status" -lt 128 ] || fail "fwtool --help died (status $status)"
echo "$help" | grep -qi "usage" || fail "fwtool --help prints no usage: $help"
# One version everywhere: the package's name and field, and every program's --version.
[ "$(basename "$deb")" = "${name}_${version}_amd64.deb" ] || fail "$(basename "$deb") is not version $version"
for program in updater monitor fwtool; do
    said=$("$program" --version) || fail "$program --version failed"
    [ "$said" = "$program $version" ] || fail "$program --version says '$said', the package is $version"
    man -w "$program" >/dev/null 2>&1 || fail "no manual page for $program"
done

for path in /usr/lib/udev/rules.d/70-rivet-hid.rules \
    /usr/share/applications/rivet-updater.desktop \
    /usr/share/applications/rivet-monitor.desktop \
    /usr/share/icons/hicolor/256x256/apps/rivet-updater.png \
    /usr/share/icons/hicolor/256x256/apps/rivet-monitor.png \
    /usr/libexec/rivet/file/Help/Base_En.jpg \
    /usr/share/doc/$name/copyright \
    /usr/share/man/man1/updater.1.gz /usr/share/man/man1/monitor.1.gz \
    /usr/share/man/man1/fwtool.1.gz; do
    [ -f "$path" ] || fail "$path is missing"
done
desktop-file-validate /usr/share/applications/rivet-updater.desktop \
    /usr/share/applications/rivet-monitor.desktop || fail "desktop-file-validate refuses"

# Both windows start from the installed place on the emulated device and stay up. Each
# runs in a process namespace of its own: the updater runs once per executable name,
# and any other program named so on this machine would make it exit.
log=$(mktemp)
for program in updater monitor; do
    # shellcheck disable=SC2016
    unshare --pid --fork --mount-proc sh -c '
        HIDLINK_BACKEND=emulator QT_QPA_PLATFORM=offscreen "$1" >"$2" 2>&1 &
        pid=$!
        sleep 3
        kill -0 "$pid" 2>/dev/null || { echo "exited at once: $(cat "$2")"; exit 1; }
        exe=$(readlink "/proc/$pid/exe")
        [ "$exe" = "/usr/libexec/rivet/$1" ] || { echo "runs from $exe"; exit 1; }
        kill "$pid"
        wait "$pid" || true' sh "$program" "$log" || fail "$program did not start and stay up"
done
rm -f "$log"

dpkg -r "$name"
# Folders shared with other packages may stay; every file of ours and our own folders go.
left=$(echo "$files" | while read -r path; do
    if [ -L "$path" ] || { [ -e "$path" ] && [ ! -d "$path" ]; }; then
        echo "$path"
    fi
done)
for dir in /usr/libexec/rivet "/usr/share/doc/$name"; do
    [ ! -e "$dir" ] || left="$left $dir"
done
[ -z "$left" ] || fail "left after dpkg -r: $left"
dpkg -P "$name"
dpkg-query -W "$name" >/dev/null 2>&1 && fail "dpkg still knows $name after dpkg -P"
ls /var/lib/dpkg/info/"$name".* >/dev/null 2>&1 && fail "dpkg keeps files of $name"
echo "deb: $name installs, runs and removes cleanly"
