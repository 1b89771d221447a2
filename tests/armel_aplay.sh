#!/usr/bin/env bash
# Fetches the target suite's armel aplay (alsa-utils, with libasound2,
# its data and libc6) and unpacks it into DIR/root; DIR/bin/aplay runs it
# under qemu-arm on the CPU model QEMU_CPU.  What was fetched before is
# kept.  Usage: armel_aplay.sh DIR
set -eu
. "$(dirname "$0")/../tools/suite.sh"
mkdir -p -- "$1"
dir=$(realpath -- "$1")
root=$dir/root
packages="alsa-utils libasound2 libasound2-data libc6"

if [ ! -e "$root/usr/bin/aplay" ]; then
    [ "$(ls "$dir"/debs/*.deb 2> /dev/null | wc -l)" -eq 4 ] || target_fetch "$dir" armel $packages
    rm -rf "$root" "$root.partial"
    for deb in "$dir"/debs/*.deb; do
        dpkg -x "$deb" "$root.partial"
    done
    mv "$root.partial" "$root"
fi
# Written every time, so that it follows the CPU model.
mkdir -p "$dir/bin"
printf '#!/bin/bash\nLD_LIBRARY_PATH=%q exec qemu-arm -cpu %q -L %q %q "$@"\n' \
    "$root/lib/arm-linux-gnueabi:$root/usr/lib/arm-linux-gnueabi" "${QEMU_CPU:?}" "$root" \
    "$root/usr/bin/aplay" > "$dir/bin/aplay"
chmod +x "$dir/bin/aplay"
