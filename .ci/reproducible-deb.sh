#!/bin/sh
# Builds the Debian package a second time from the same commit in another folder and
# checks that both packages are the same bytes.
# Usage: .ci/reproducible-deb.sh FIRST-BUILD-DIR SECOND-BUILD-DIR
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
first=$(ls "$1"/rivet-tools_*_amd64.deb)
second=$(bash "$root/scripts/package-linux.sh" "$2")
if ! cmp "$first" "$second"; then
    echo "reproducible: $first and $second differ" >&2
    exit 1
fi
echo "reproducible: $(basename "$first") is the same in $1 and $2 ($(sha256sum <"$first" | cut -c1-16))"
