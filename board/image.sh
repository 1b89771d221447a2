#!/usr/bin/env bash
# Makes the board's root disk: the cached bookworm armel root, the init of
# this folder, and the packages DEB... installed by dpkg on the board
# itself, so that their scripts run on ARM.  Kept as CACHE/board-KEY.img,
# KEY made of the root, the init, the kernel and the packages; made under
# a temporary name and renamed only once the board said it was done.
# Prints the image's path.  Usage: image.sh CACHE KERNEL TARBALL DEB...
set -eu
board=$(cd "$(dirname "$0")" && pwd)
cache=$1 kernel=$2 tarball=$3
shift 3
key=$(cat "$tarball" "$board/init" "$kernel/zImage" "$@" | sha256sum | cut -c1-16)
image=$cache/board-$key.img
if [ -e "$image" ]; then
    echo "$image"
    exit 0
fi

work=$(mktemp -d "$cache/.board-$key.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "image: unpacking $tarball and installing $# packages on the board" >&2
mkdir "$work/root" "$work/job" "$work/job/debs"
tar -C "$work/root" --numeric-owner -xzf "$tarball"
install -m 755 "$board/init" "$work/root/sbin/board-init"
mkdir "$work/root/job"
cp "$@" "$work/job/debs/"
echo provision > "$work/job/name"
cat > "$work/job/run" <<'JOB'
dpkg -i /job/debs/*.deb > /tmp/dpkg.log 2>&1 || { sed 's/^/board: | /' /tmp/dpkg.log; exit 1; }
JOB
mkfs.ext4 -q -F -d "$work/root" "$work/image" 1G > /dev/null
if ! "$board/boot.sh" "$kernel" "$work/image" "$work/job" "$work/provision" 600 ||
    ! grep -qx 'board: end 0' "$work/provision.console"; then
    tail -n 30 "$work/provision.console" >&2
    echo "image: the board could not install its packages" >&2
    exit 1
fi
rm -f "$cache"/board-*.img
mv "$work/image" "$image"
echo "$image"
