#!/usr/bin/env bash
# Installs what is needed, builds, makes a sample firmware image and starts the
# updater: on the real device when one is plugged in, otherwise on the emulated one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"

sample="$root/build/sample.fw"
if [ -x "$root/build/fwtool/fwtool" ] && [ ! -f "$sample" ]; then
    head -c 32768 /dev/urandom > "$root/build/sample-dsp.bin"
    head -c 32768 /dev/urandom > "$root/build/sample-arm.bin"
    "$root/build/fwtool/fwtool" pack --version 1250 --dsp "$root/build/sample-dsp.bin" \
        --arm "$root/build/sample-arm.bin" --out "$sample"
fi
[ -f "$sample" ] && echo "A sample firmware image to flash: $sample"

real_device=no
for uevent in /sys/class/hidraw/*/device/uevent; do
    if [ -r "$uevent" ] && grep -qi 'HID_ID=0003:00000483:00000526' "$uevent"; then
        real_device=yes
    fi
done
if [ "$real_device" = no ] && [ -z "${HIDLINK_BACKEND:-}" ]; then
    echo "No device 0483:0526 is plugged in: the updater runs on the emulated device."
    export HIDLINK_BACKEND=emulator
fi
exec "$root/build/updater/updater"
