#!/usr/bin/env bash
# Cross-builds a static, release Qt 5 (qtbase) for x86_64-w64-mingw32 from Debian's
# own source package, a static libcurl without TLS (FTP and plain HTTP only) from
# Debian's curl source, and a static libsodium (firmware signatures) from Debian's
# libsodium source, into a cache folder outside the tree. Each is rebuilt only when
# its configure line changes. The licence texts of each source tree built go into its
# prefix (licenses/, see scripts/collect-licenses.py) for the programs' third-party
# notices. Prints nothing but progress; the prefixes are
#   $RIVET_QT_WINDOWS            (default ~/.cache/rivet/qt5-win64)
#   $RIVET_CURL_WINDOWS          (default ~/.cache/rivet/curl-win64)
#   $RIVET_SODIUM_WINDOWS        (default ~/.cache/rivet/sodium-win64)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${RIVET_CACHE:-$HOME/.cache/rivet}
qt_prefix=${RIVET_QT_WINDOWS:-$cache/qt5-win64}
curl_prefix=${RIVET_CURL_WINDOWS:-$cache/curl-win64}
sodium_prefix=${RIVET_SODIUM_WINDOWS:-$cache/sodium-win64}
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

qt_configure=(-xplatform win32-g++ -device-option CROSS_COMPILE=x86_64-w64-mingw32-
    -release -static -opensource -confirm-license -nomake examples -nomake tests
    -no-opengl -no-dbus -no-icu -no-fontconfig -no-direct2d
    -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -qt-harfbuzz -qt-freetype
    -no-sql-sqlite -no-sql-odbc -no-sql-psql -no-sql-mysql -no-feature-sql
    -no-feature-network -no-feature-xml -no-feature-concurrent
    # Debian's source leaves out the tablet header wintab.h.
    -no-feature-tabletevent)
# HTTP (without TLS) stays in: Debian's 7.88.1 security fixes make the FTP code call
# Curl_bump_headersize in http.c, so a build without HTTP does not link.
curl_configure=(-DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF
    -DBUILD_TESTING=OFF -DCURL_USE_SCHANNEL=OFF -DCURL_USE_OPENSSL=OFF
    -DCURL_DISABLE_ALTSVC=ON -DCURL_DISABLE_HSTS=ON
    -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON -DCURL_DISABLE_TELNET=ON
    -DCURL_DISABLE_DICT=ON -DCURL_DISABLE_FILE=ON -DCURL_DISABLE_TFTP=ON
    -DCURL_DISABLE_RTSP=ON -DCURL_DISABLE_POP3=ON -DCURL_DISABLE_IMAP=ON
    -DCURL_DISABLE_SMTP=ON -DCURL_DISABLE_GOPHER=ON -DCURL_DISABLE_MQTT=ON
    -DCURL_DISABLE_SMB=ON -DCURL_ZLIB=OFF -DUSE_LIBIDN2=OFF -DCURL_USE_LIBSSH2=OFF
    -DCURL_USE_LIBPSL=OFF -DENABLE_UNIX_SOCKETS=OFF)

# Only what minisign's signatures need (Ed25519, BLAKE2b) is kept; MinGW has no libssp.
sodium_configure=(--host=x86_64-w64-mingw32 --disable-shared --enable-static --enable-minimal
    --disable-ssp --disable-pie)

stamp_ok() { [ -f "$1/.rivet-stamp" ] && [ "$(cat "$1/.rivet-stamp")" = "$2" ]; }

# The sources come from Debian's registry: a deb-src entry is derived from the
# machine's own deb entry, so no host name is written here.
fetch_source() {
    local package=$1 into=$2
    if ! apt-get source --print-uris "$package" 2>/dev/null | grep -q "'"; then
        if [ -f /etc/apt/sources.list.d/debian.sources ]; then
            sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
                $sudo tee /etc/apt/sources.list.d/rivet-deb-src.sources >/dev/null
        else
            grep -h '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
                $sudo tee /etc/apt/sources.list.d/rivet-deb-src.list >/dev/null
        fi
        $sudo apt-get update -qq
    fi
    mkdir -p "$into"
    (cd "$into" && apt-get source -qq "$package" >/dev/null)
}

upstream_version() { sed -E 's/^[0-9]+://; s/^([0-9.]+).*/\1/'; }

# The licence texts of the unpacked source tree $2 into the prefix $3: kind $1 is qt,
# curl, or library (then NAME LICENSE-ID ARCHIVE LICENCE-FILE... follow).
collect_licenses() {
    local version
    version=$(dpkg-parsechangelog -l "$2/debian/changelog" -S Version)
    /usr/bin/python3 "$root/scripts/collect-licenses.py" "$1" "$2" "$3" "$version" "${@:4}"
}

# A prefix built before its licences were kept takes them from the same source again,
# provided the registry still has that version. Arguments: kind, source package,
# prefix, the version built, then what collect_licenses takes after the prefix.
backfill_licenses() {
    local kind=$1 package=$2 prefix=$3 built=$4 src version
    [ -f "$prefix/licenses/components.json" ] && return
    echo "$kind for windows: fetching its source again for the licence texts"
    fetch_source "$package" "$work/$kind-licenses"
    src=$(find "$work/$kind-licenses" -maxdepth 1 -mindepth 1 -type d | head -1)
    version=$(dpkg-parsechangelog -l "$src/debian/changelog" -S Version)
    if [ "$(echo "$version" | upstream_version)" != "$built" ]; then
        echo "$kind for windows: the cached build is $built, the source now $version: rebuild it (remove $prefix)" >&2
        exit 1
    fi
    collect_licenses "$kind" "$src" "$prefix" "${@:5}"
}

# CROSS_COMPILE names the unsuffixed compilers: they must be the posix-thread ones.
for tool in gcc g++; do
    if [ "$(readlink -f "/usr/bin/x86_64-w64-mingw32-$tool")" != "$(readlink -f "/usr/bin/x86_64-w64-mingw32-$tool-posix")" ]; then
        $sudo update-alternatives --set "x86_64-w64-mingw32-$tool" "/usr/bin/x86_64-w64-mingw32-$tool-posix" >/dev/null
    fi
done

jobs=$(nproc)
work=$(mktemp -d "${TMPDIR:-/tmp}/rivet-winbuild.XXXXXX")
trap 'rm -rf "$work"' EXIT

qt_key="${qt_configure[*]}"
if stamp_ok "$qt_prefix" "$qt_key"; then
    echo "qt for windows: cached in $qt_prefix"
else
    echo "qt for windows: building into $qt_prefix (about 12 minutes on 2 cores)"
    fetch_source qtbase-opensource-src "$work/qt"
    src=$(find "$work/qt" -maxdepth 1 -mindepth 1 -type d -name 'qtbase*' | head -1)
    rm -rf "$qt_prefix"
    mkdir -p "$work/qt/build"
    (cd "$work/qt/build" && "$src/configure" -prefix "$qt_prefix" "${qt_configure[@]}" >"$work/qt-configure.log" 2>&1) ||
        { tail -40 "$work/qt-configure.log"; exit 1; }
    (cd "$work/qt/build" && make -j"$jobs" >"$work/qt-build.log" 2>&1 && make install >>"$work/qt-build.log" 2>&1) ||
        { tail -40 "$work/qt-build.log"; exit 1; }
    collect_licenses qt "$src" "$qt_prefix"
    echo "$qt_key" >"$qt_prefix/.rivet-stamp"
fi
backfill_licenses qt qtbase-opensource-src "$qt_prefix" \
    "$(sed -n 's/^set(PACKAGE_VERSION \(.*\))$/\1/p' "$qt_prefix/lib/cmake/Qt5Core/Qt5CoreConfigVersion.cmake")"

curl_key="${curl_configure[*]}"
if stamp_ok "$curl_prefix" "$curl_key"; then
    echo "curl for windows: cached in $curl_prefix"
else
    echo "curl for windows: building into $curl_prefix"
    fetch_source curl "$work/curl"
    src=$(find "$work/curl" -maxdepth 1 -mindepth 1 -type d -name 'curl*' | head -1)
    rm -rf "$curl_prefix"
    cmake -S "$src" -B "$work/curl/build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
        -DCMAKE_INSTALL_PREFIX="$curl_prefix" "${curl_configure[@]}" >"$work/curl.log" 2>&1 &&
        cmake --build "$work/curl/build" -j"$jobs" >>"$work/curl.log" 2>&1 &&
        cmake --install "$work/curl/build" >>"$work/curl.log" 2>&1 ||
        { tail -40 "$work/curl.log"; exit 1; }
    collect_licenses curl "$src" "$curl_prefix"
    echo "$curl_key" >"$curl_prefix/.rivet-stamp"
fi
backfill_licenses curl curl "$curl_prefix" \
    "$(sed -n 's/^#define LIBCURL_VERSION "\(.*\)"$/\1/p' "$curl_prefix/include/curl/curlver.h")"

sodium_key="${sodium_configure[*]}"
if stamp_ok "$sodium_prefix" "$sodium_key"; then
    echo "libsodium for windows: cached in $sodium_prefix"
else
    echo "libsodium for windows: building into $sodium_prefix"
    fetch_source libsodium "$work/sodium"
    src=$(find "$work/sodium" -maxdepth 1 -mindepth 1 -type d -name 'libsodium*' | head -1)
    rm -rf "$sodium_prefix"
    # Debian's source carries no generated configure script.
    (cd "$src" && ./autogen.sh -s >"$work/sodium.log" 2>&1 && ./configure --prefix="$sodium_prefix" "${sodium_configure[@]}" >>"$work/sodium.log" 2>&1 &&
        make -j"$jobs" >>"$work/sodium.log" 2>&1 && make install >>"$work/sodium.log" 2>&1) ||
        { tail -40 "$work/sodium.log"; exit 1; }
    collect_licenses library "$src" "$sodium_prefix" libsodium ISC lib/libsodium.a LICENSE
    echo "$sodium_key" >"$sodium_prefix/.rivet-stamp"
fi
backfill_licenses library libsodium "$sodium_prefix" \
    "$(sed -n 's/^Version: //p' "$sodium_prefix/lib/pkgconfig/libsodium.pc")" \
    libsodium ISC lib/libsodium.a LICENSE
