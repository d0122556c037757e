#!/bin/sh
# Makes the wine prefix $WINEPREFIX and waits until it has settled: wine registers its
# virtual HID devices asynchronously after the prefix is made, so a program started
# in the same wine start may enumerate none of them on a slow machine.
set -eu
: "${WINEPREFIX:?set WINEPREFIX to an absolute folder}"
timeout 300 /usr/lib/wine/wine64 wineboot --init
timeout 300 /usr/lib/wine/wineserver -w
