#!/usr/bin/env bash
# Makes the board's armel root of the target suite by mmdebstrap, and
# beside it a repository of what alsa-utils needs that the root lacks,
# cached as SUITE-armel-root-KEY (this script, the packages).  Prints the folder.
set -eu
. "$(dirname "$0")/../tools/suite.sh"
cache_entry "$suite-armel-root-$(cat "$0" <(echo "$root_packages") | sha256sum | cut -c1-16)" root.tar.gz 100
echo "root: building a Debian $suite armel root with mmdebstrap (about 2 minutes)" >&2

# apt fetches into the root's emptied archives, copied out to repo (which the
# namespace cannot write), named relative: mmdebstrap splits a hook at spaces.
mkdir "$tree/out" && cd "$tree/out"
# man-db keeps no index, slow to make under the emulator: man finds a page without one.
bootstrap 700 root.tar.gz --variant=apt --architectures=armel --include="${root_packages// /,}" \
    --essential-hook='echo "man-db man-db/auto-update boolean false" | chroot "$1" debconf-set-selections' \
    --customize-hook='rm -f "$1"/var/cache/apt/archives/*.deb' \
    --customize-hook='APT_CONFIG=$MMDEBSTRAP_APT_CONFIG apt-get -qq -y --download-only install alsa-utils' \
    --customize-hook='sync-out /var/cache/apt/archives repo'
rm -rf repo/partial repo/lock
(cd repo && dpkg-scanpackages -m . > Packages 2> /dev/null)
cache_keep "$suite-armel-root-"
