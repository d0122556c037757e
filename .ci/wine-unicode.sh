#!/usr/bin/env bash
# The Windows tests that touch the user's files, run as a user whose name and program
# folder hold characters outside the system's ANSI code page (wine's English default,
# code page 1252): a new prefix whose profile is C:\users\张伟, and the test programs
# copied to C:\用户\Ünïcødé ☃ with what lies beside them. The online check downloads
# and caches there (beside the program and in the user's data folder), the file
# dialog's choice opens, the help pictures show.
# Usage: .ci/wine-unicode.sh build-dir
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
wine=/usr/lib/wine/wine64
export WINEPREFIX="$build/wineprefix-unicode" USER=张伟 LC_ALL=C.UTF-8
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
cleanup() {
    [ -z "${ftp_pid:-}" ] || kill "$ftp_pid" 2>/dev/null || true
    /usr/lib/wine/wineserver -k 2>/dev/null || true
}
trap cleanup EXIT
sh "$root/.ci/wineprefix.sh"
profile="$WINEPREFIX/drive_c/users/$USER"
[ -d "$profile" ] || { echo "wine-unicode: the prefix has no profile $profile" >&2; exit 1; }
folder="$WINEPREFIX/drive_c/用户/Ünïcødé ☃"
run() {
    local test=$1 dir=$2
    shift 2
    rm -rf "$folder"
    mkdir -p "$folder"
    cp "$build/$dir/$test.exe" "$folder/"
    [ ! -d "$build/$dir/file" ] || cp -r "$build/$dir/file" "$folder/"
    echo "wine-unicode: $test from C:\\用户\\Ünïcødé ☃ as $USER"
    (cd "$folder" && timeout 600 env "$@" "$wine" "./$test.exe") ||
        { echo "wine-unicode: $test failed" >&2; exit 1; }
}
run tst_mainwindow tests/updater
. "$root/.ci/ftpserver.sh"
for test in tst_onlinetransfers tst_onlinewindow; do
    with_ftp_server "$build" run "$test" tests/online
done
echo "wine-unicode: passed"
