#!/usr/bin/env bash
# Makes the board's Debian bookworm armel root with mmdebstrap, from the
# archive this machine's apt uses, as whoever runs it (mmdebstrap's
# unshare mode for an ordinary user; the root's own maintainer scripts
# run through the qemu-arm that make deps registers with binfmt_misc).
# Beside the root's tarball it fetches what alsa-utils needs that the root
# lacks, with its index: the local repository from which apt on the board
# resolves the Quorvel package's dependencies.  Kept in the cache as
# armel-root-PACKAGES.  Prints the folder.  Usage: root.sh
set -eu
. "$(dirname "$0")/../tests/archive.sh"
cache_entry "armel-root-${root_packages// /-}" root.tar.gz
echo "root: building a Debian bookworm armel root with mmdebstrap (about 3 minutes)" >&2
armel_sources "$tree/armel.sources"
out=$tree/out
mkdir "$out"

# mmdebstrap runs in namespaces of its own, as root too, so that nothing
# it mounts or starts outlives it, and works in a folder of its own that
# its namespace's root can reach (a private home may not let it).  Told
# to end, it may first wait half a minute for a maintainer script under
# emulation: it is killed 5 s after the signal, and what it leaves is
# removed from a namespace that maps the ids it gave its files.
scratch=$(mktemp -d)
chmod 755 "$scratch"
on_exit 'rm -rf "$tree"; rm -rf "$scratch" 2> /dev/null ||
    unshare --map-auto --map-root-user rm -rf "$scratch"'
# The root's apt fetches into its own archives, emptied first, and the
# hooks copy them out: mmdebstrap's user namespace cannot write here.  It
# splits a hook into words as a shell would.
TMPDIR=$scratch timeout -k 5 30m mmdebstrap --mode=unshare --skip=check/signed-by \
    --variant=apt --architectures=armel --include="${root_packages// /,}" \
    --customize-hook='rm -f "$1"/var/cache/apt/archives/*.deb' \
    --customize-hook='APT_CONFIG=$MMDEBSTRAP_APT_CONFIG apt-get -qq -y --download-only install alsa-utils' \
    --customize-hook="sync-out /var/cache/apt/archives $(printf %q "$out/repo")" \
    bookworm "$out/root.tar.gz" "$tree/armel.sources" > "$tree/log" 2>&1 &
if ! wait $!; then
    tail -n 30 "$tree/log" >&2
    echo "root: mmdebstrap could not build the root" >&2
    exit 1
fi
rm -rf "$out/repo/partial" "$out/repo/lock"
(cd "$out/repo" && dpkg-scanpackages -m . > Packages 2> /dev/null)
# What earlier roots and root disks left in the cache.
rm -rf "$cache"/armel-root-* "$cache"/bookworm-armel*.tar.gz "$cache/archives" "$cache"/board-*.img
cache_keep
