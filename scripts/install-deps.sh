#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing the tools need.
set -euo pipefail
packages=(
    cmake g++ make pkg-config dpkg-dev
    qtbase5-dev qtbase5-dev-tools qttools5-dev qttools5-dev-tools
    libcurl4-openssl-dev libudev-dev libsodium-dev minisign
    fonts-wqy-zenhei qttranslations5-l10n
    python3 python3-pyftpdlib
    umockdev libumockdev-dev
)
if [ "${1:-}" = "--ci" ]; then
    # What only CI needs: the Windows cross compiler, wine to run its result (with
    # Xvfb, x11-utils and the fonts its tests read), NSIS and zip for the Windows
    # packages, the autotools for the Windows libsodium, osslsigncode and openssl to sign
    # them with a test certificate, clang for the fuzzers, and lintian, desktop-file-utils
    # and man-db for the Debian package.
    packages+=(g++-mingw-w64-x86-64 wine64 xvfb x11-utils fonts-dejavu-core nsis zip
        autoconf automake libtool osslsigncode openssl clang libclang-rt-14-dev lintian
        desktop-file-utils man-db)
fi
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y -o DPkg::Lock::Timeout=300 "${packages[@]}"
