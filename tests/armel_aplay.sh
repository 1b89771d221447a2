#!/usr/bin/env bash
# Fetches Debian's armel aplay (alsa-utils, with libasound2, its data and
# libc6) from the archive this machine's apt uses, under an apt
# configuration of its own that leaves the host's lists and dpkg state
# alone, and unpacks it into DIR/root; DIR/bin/aplay runs it under
# qemu-arm on the CPU model QEMU_CPU.  What was fetched before is kept.
# Usage: armel_aplay.sh DIR
set -eu
. "$(dirname "$0")/archive.sh"
mkdir -p "$1"
dir=$(cd "$1" && pwd)
root=$dir/root
apt=$dir/apt
packages="alsa-utils libasound2 libasound2-data libc6"
# fetch_debs: the packages from the archive, into DIR/debs.
fetch_debs() {
    echo "fetching armel $packages"
    rm -rf "$apt" "$dir/debs"
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/sources" "$dir/debs"
    : > "$apt/status"
    armel_sources "$apt/sources/debian.sources"
    cat > "$apt/apt.conf" <<CONF
APT::Architecture "armel";
APT::Architectures { "armel"; };
APT::Sandbox::User "root";
Dir::State "$apt";
Dir::State::Lists "$apt/lists";
Dir::State::status "$apt/status";
Dir::Cache "$apt/cache";
Dir::Etc::SourceList "/dev/null";
Dir::Etc::SourceParts "$apt/sources";
CONF
    export APT_CONFIG=$apt/apt.conf
    apt-get -qq --error-on=any update
    (cd "$dir/debs" && apt-get -qq download $packages)
}

if [ ! -e "$root/usr/bin/aplay" ]; then
    [ "$(ls "$dir"/debs/*.deb 2> /dev/null | wc -l)" -eq 4 ] || fetch_debs
    rm -rf "$root" "$root.partial"
    for deb in "$dir"/debs/*.deb; do
        dpkg -x "$deb" "$root.partial"
    done
    mv "$root.partial" "$root"
fi
# Written every time, so that it follows the CPU model.
mkdir -p "$dir/bin"
printf '#!/bin/sh\nexec qemu-arm -cpu %s -L "%s" -E LD_LIBRARY_PATH="%s" "%s" "$@"\n' \
    "${QEMU_CPU:?}" "$root" "$root/lib/arm-linux-gnueabi:$root/usr/lib/arm-linux-gnueabi" \
    "$root/usr/bin/aplay" > "$dir/bin/aplay"
chmod +x "$dir/bin/aplay"
