#!/usr/bin/env bash
# The Windows programs: builds them (and the static Qt and libcurl when not cached),
# runs the test suite under wine64 on Qt's offscreen platform, the flash benchmark,
# the release checks (third-party notices, a second build compared byte for byte,
# signatures made with a throwaway certificate, one version everywhere), and the
# installer's silent install, upgrade, start and uninstall in a new wine prefix.
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
. "$root/.ci/ftpserver.sh"
for test in tst_onlinetransfers tst_onlinewindow; do
    with_ftp_server "$build" env -C "$build" ctest --output-on-failure --timeout 600 -R "^$test\$"
done

step "a user and a program folder outside the ANSI code page"
bash "$root/.ci/wine-unicode.sh" "$build"

step "flash benchmarks under wine: one device in the window and fwtool, many with --all"
pace=$(cd "$build/bench" && timeout 600 "$wine" ./flash_pace.exe | tr -d '\r')
echo "$pace"
echo "$pace" | grep -q '^received images match the file: yes$'
echo "$pace" | sed -n 's/^flash_pace_ratio: /flash_pace_ratio_wine: /p'
many=$(cd "$build/bench" && timeout 900 "$wine" ./flash_many.exe | tr -d '\r')
echo "$many"
echo "$many" | sed -n 's/^flash_many_pace_ratio_min \([0-9]*\):/flash_many_pace_ratio_min_wine \1:/p'

step "package"
bash "$root/scripts/package-windows.sh" "$build"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
setup="$build/rivet-tools-$version-setup.exe"

# --- Release checks: third-party notices, reproducibility, signatures, one version ---
release_fail() { echo "windows: $1" >&2; exit 1; }
package_dir="$build/package/rivet-tools-$version-win64"
step "third-party notices name every linked library"
for component in "Qt 5." libcurl "Data Compression Library (zlib)" libpng LibJPEG "Freetype 2" HarfBuzz PCRE2 \
    "MinGW-w64 runtime" winpthreads "GCC runtime libraries" libsodium; do
    grep -qi "^  - $component" "$package_dir/THIRD-PARTY-NOTICES.txt" ||
        release_fail "THIRD-PARTY-NOTICES.txt does not name $component (see build/linkmaps/*.map)"
done
# The check itself: a library that no notice names stops the packaging, named.
unnamed=$(mktemp -d)
mkdir -p "$unnamed/lib"
: >"$unnamed/lib/libunnamed.a"
cp "$build/linkmaps/fwtool.map" "$unnamed/fwtool.map"
echo "$unnamed/lib/libunnamed.a(unnamed.o)" >>"$unnamed/fwtool.map"
if said=$(/usr/bin/python3 "$root/scripts/third-party-notices.py" --build "$build" \
    --out "$unnamed/out.txt" "$unnamed/fwtool.map" 2>&1); then
    release_fail "an unnamed library passed the notices check"
fi
rm -rf "$unnamed"
[ "$said" = "third-party-notices: libunnamed.a is linked ($unnamed/lib/libunnamed.a) but no notice names it" ] ||
    release_fail "the notices check did not name the library alone: $said"

step "version $version everywhere"
said=$(timeout 60 "$wine" "$package_dir/fwtool.exe" --version | tr -d '\r')
[ "$said" = "fwtool $version" ] || release_fail "fwtool.exe --version says '$said'"
for program in updater monitor fwtool; do
    for field in FileVersion ProductVersion; do
        value=$(strings -el "$package_dir/$program.exe" | grep -A1 -x "$field" | tail -1)
        case "$value" in "$version" | "$version.0") ;; *) release_fail "$program.exe $field is '$value'" ;; esac
    done
done

step "reproducible: the programs and packages built again in another folder"
again="$build-again"
RIVET_WINDOWS_TARGETS="updater monitor fwtool" bash "$root/scripts/build-windows.sh" "$again"
bash "$root/scripts/package-windows.sh" "$again"
for file in updater/updater.exe monitor/monitor.exe fwtool/fwtool.exe \
    "rivet-tools-$version-win64.zip" "rivet-tools-$version-setup.exe" SHA256SUMS; do
    cmp "$build/$file" "$again/$file" ||
        release_fail "$file differs between two builds of one commit: $(cmp -l "$build/$file" "$again/$file" | wc -l) bytes"
done
echo "windows: the programs, the zip and the installer are the same bytes in both folders"

step "signing with a throwaway certificate"
keys="$again/signing"
rm -rf "$keys"
mkdir -p "$keys"
openssl req -x509 -newkey rsa:3072 -sha256 -days 2 -nodes -subj "/CN=Rivet CI test signing" \
    -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=critical,digitalSignature" \
    -keyout "$keys/key.pem" -out "$keys/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$keys/key.pem" -in "$keys/cert.pem" -out "$keys/test.p12" -passout pass:ci-secret
# A wrong password: packaging stops and leaves no package.
if RIVET_SIGN_PKCS12="$keys/test.p12" RIVET_SIGN_PASSWORD=wrong bash "$root/scripts/package-windows.sh" "$again"; then
    release_fail "packaging went on with a wrong signing password"
fi
for left in "$again/package" "$again/rivet-tools-$version-win64.zip" "$again/rivet-tools-$version-setup.exe"; do
    [ ! -e "$left" ] || release_fail "a failed signing left $left"
done
RIVET_SIGN_PKCS12="$keys/test.p12" RIVET_SIGN_PASSWORD=ci-secret bash "$root/scripts/package-windows.sh" "$again"
(cd "$again" && sha256sum -c SHA256SUMS)
# The test certificate is its own root: trusting it, every signature verifies.
verify() { osslsigncode verify -CAfile "$keys/cert.pem" -in "$1" >"$keys/verify.log" 2>&1 ||
    release_fail "$(basename "$1"): signature does not verify: $(tail -5 "$keys/verify.log")"; }
for program in updater monitor fwtool; do verify "$again/package/rivet-tools-$version-win64/$program.exe"; done
signed_setup="$again/rivet-tools-$version-setup.exe"
verify "$signed_setup"
# The uninstaller is signed inside the installer: install the signed set, check, remove.
timeout 300 "$wine" "$signed_setup" /S '/D=C:\rivet-signed'
"$wineserver" -w
for file in updater.exe monitor.exe fwtool.exe uninstall.exe; do verify "$WINEPREFIX/drive_c/rivet-signed/$file"; done
for file in LICENSE.txt THIRD-PARTY-NOTICES.txt; do
    [ -f "$WINEPREFIX/drive_c/rivet-signed/$file" ] || release_fail "the installer did not install $file"
done
display_version=$("$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\RivetTools' /v DisplayVersion | tr -d '\r' | awk '/DisplayVersion/ {print $NF}')
[ "$display_version" = "$version" ] || release_fail "Add/Remove Programs shows version '$display_version'"
timeout 300 "$wine" 'C:\rivet-signed\uninstall.exe' /S
"$wineserver" -w
[ ! -e "$WINEPREFIX/drive_c/rivet-signed" ] || release_fail "the signed set's uninstaller left files"
echo "windows: every program, the uninstaller and the installer carry a valid SHA-256 signature"
# --- end of release checks ---

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

step "a folder of the user's: its permissions, the user's files kept, running programs"
# --- custom folder ---
custom="$drive_c/MyTools"
mkdir -p "$custom/file"
echo "the user's own" >"$custom/file/notes.txt"
# wine's icacls changes nothing and wine keeps no ACLs: a stand-in records how the
# installer calls it, and fails when asked to.
x86_64-w64-mingw32-gcc -municode -O2 -o "$drive_c/windows/system32/icacls.exe" "$root/.ci/icacls-standin.c"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;icacls.exe=n"
rm -f "$drive_c/icacls.log"
secured() { # the icacls calls that secure C:\$1
    for change in "/setowner *S-1-5-32-544 /T /Q" "/reset /T /Q" \
        "/inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX /Q"; do
        echo "\"C:\\$1\" $change"
    done
}
if RIVET_ICACLS_FAIL=1 timeout 300 "$wine" "$setup" /S '/D=C:\Refused'; then
    fail "installed although the folder's permissions could not be set"
fi
"$wineserver" -w
[ ! -e "$drive_c/Refused" ] || fail "a refused install left $(find "$drive_c/Refused")"
if "$wine" reg query "$key" >/dev/null 2>&1; then fail "a refused install registered itself"; fi
timeout 300 "$wine" "$setup" /S '/D=C:\MyTools'
"$wineserver" -w
acl=$(iconv -f UTF-16LE -t UTF-8 "$drive_c/icacls.log" | tr -d '\r' | sed 's/^"[^"]*" //')
[ "$acl" = "$(secured Refused | head -1; secured MyTools)" ] || fail "icacls was called as: $acl"
# While updater.exe runs, a silent upgrade and uninstall fail and change nothing.
state() { (cd "$custom" && find . -type f -exec md5sum {} + | sort) && ls "$menu" && "$wine" reg query "$key"; }
before=$(state)
HIDLINK_BACKEND=emulator WINEQT_QPA_PLATFORM=offscreen "$wine" 'C:\MyTools\updater.exe' &
updater_pid=$!
sleep 5
kill -0 "$updater_pid" 2>/dev/null || fail "the updater in C:\MyTools did not stay up"
if timeout 300 "$wine" "$setup" /S '/D=C:\MyTools'; then fail "upgraded while updater.exe ran"; fi
# In place (_?=), the uninstaller's exit status is its own.
if timeout 300 "$wine" 'C:\MyTools\uninstall.exe' /S '_?=C:\MyTools'; then fail "uninstalled while updater.exe ran"; fi
[ "$(state)" = "$before" ] || fail "a refused upgrade or uninstall changed: $(diff <(echo "$before") <(state))"
kill "$updater_pid"
wait "$updater_pid" 2>/dev/null || true
"$wineserver" -w
timeout 300 "$wine" 'C:\MyTools\uninstall.exe' /S
"$wineserver" -w
left=$(cd "$custom" && find . | LC_ALL=C sort | tr '\n' ' ')
[ "$left" = ". ./file ./file/notes.txt " ] || fail "uninstalling from C:\MyTools left: $left"
[ "$(cat "$custom/file/notes.txt")" = "the user's own" ] || fail "notes.txt was changed"
[ ! -e "$menu" ] || fail "uninstalling from C:\MyTools left the shortcuts"
if "$wine" reg query "$key" >/dev/null 2>&1; then fail "uninstall left the registry key $key"; fi
# --- end of custom folder ---
ls -l "$setup" "$build/rivet-tools-$version-win64.zip"
step "done"
