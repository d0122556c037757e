#!/usr/bin/env bash
# Prints the time the packages are dated with (seconds since 1970): SOURCE_DATE_EPOCH
# when set, else the date of the checked-out commit, else the newest Debian changelog
# entry's (a source tree without git). Two builds of one commit get the same.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
    echo "$SOURCE_DATE_EPOCH"
elif git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
    git -C "$root" log -1 --format=%ct
else
    dpkg-parsechangelog -l "$root/packaging/debian/changelog" -S Timestamp
fi
