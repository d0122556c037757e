#!/usr/bin/env bash
# Installs what is needed and builds the Debian package rivet-tools_<version>_amd64.deb
# from a clean build folder (build-deb/, or the folder given; further arguments go to
# CMake). Prints the package's path. Two runs on one commit give the same bytes, in
# whichever folders they build; SHA256SUMS beside the package lists its checksum.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build-deb"}
shift || true
"$root/scripts/install-deps.sh" >&2
rm -rf "$build"
# Debian's hardening flags, as Debian's own packages are built; CMake reads them from
# the environment when it configures a new folder.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)"
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CFLAGS CXXFLAGS LDFLAGS
# Every time stamp in the package (compiler, rcc, the archive's members) is the commit's.
SOURCE_DATE_EPOCH=$("$root/scripts/source-date.sh")
export SOURCE_DATE_EPOCH
# The package keeps the emulated device: it is how the programs are tried without one.
# Only what the package holds is built: no tests, benchmarks or tools, and cpack must
# not build them either (it installs through the preinstall target, which wants all).
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DBUILD_TESTING=OFF -DRIVET_WITH_EMULATOR=ON -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
    -DRIVET_REPRODUCIBLE=ON "$@" >&2
cmake --build "$build" -j"$(nproc)" --target updater monitor fwtool >&2
(cd "$build" && cpack -G DEB >&2)
(cd "$build" && sha256sum rivet-tools_*_amd64.deb >SHA256SUMS)
ls "$build"/rivet-tools_*_amd64.deb
