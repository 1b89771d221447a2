#!/usr/bin/env bash
# Fetches Debian's armel aplay (alsa-utils, with libasound2, its data and
# libc6) from the archive this machine's apt uses, under an apt
# configuration of its own that leaves the host's lists and dpkg state
# alone, and unpacks it into DIR/root; DIR/bin/aplay runs it under
# qemu-arm.  What was fetched before is kept.
# Usage: armel_aplay.sh DIR
set -eu
. "$(dirname "$0")/archive.sh"
mkdir -p "$1"
dir=$(cd "$1" && pwd)
[ -x "$dir/bin/aplay" ] && exit 0

apt=$dir/apt
packages="alsa-utils libasound2 libasound2-data libc6"
if [ "$(ls "$dir"/debs/*.deb 2> /dev/null | wc -l)" -ne 4 ]; then
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
fi

rm -rf "$dir/root" "$dir/root.partial" "$dir/bin"
for deb in "$dir"/debs/*.deb; do
    dpkg -x "$deb" "$dir/root.partial"
done
mv "$dir/root.partial" "$dir/root"
mkdir "$dir/bin"
root=$dir/root
printf '#!/bin/sh\nexec qemu-arm -cpu arm926 -L "%s" -E LD_LIBRARY_PATH="%s" "%s" "$@"\n' \
    "$root" "$root/lib/arm-linux-gnueabi:$root/usr/lib/arm-linux-gnueabi" \
    "$root/usr/bin/aplay" > "$dir/bin/aplay"
chmod +x "$dir/bin/aplay"
