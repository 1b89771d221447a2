#!/usr/bin/env bash
# Makes the board's armel root of the target suite by mmdebstrap, and
# beside it a repository of what alsa-utils needs that the root lacks,
# cached as SUITE-armel-root-PACKAGES.  Prints the folder.
set -eu
. "$(dirname "$0")/../tools/suite.sh"
cache_entry "$suite-armel-root-${root_packages// /-}" root.tar.gz 100
echo "root: building a Debian $suite armel root with mmdebstrap (about 2 minutes)" >&2

# The root's apt fetches into its own archives, emptied first, and the
# hooks copy them out into repo, beside the tarball: mmdebstrap's user
# namespace cannot write there.  A hook is split into words as a shell
# would, so the folder is named relative to where mmdebstrap runs.
mkdir "$tree/out" && cd "$tree/out"
bootstrap 700 root.tar.gz --variant=apt --architectures=armel --include="${root_packages// /,}" \
    --customize-hook='rm -f "$1"/var/cache/apt/archives/*.deb' \
    --customize-hook='APT_CONFIG=$MMDEBSTRAP_APT_CONFIG apt-get -qq -y --download-only install alsa-utils' \
    --customize-hook='sync-out /var/cache/apt/archives repo'
rm -rf repo/partial repo/lock
(cd repo && dpkg-scanpackages -m . > Packages 2> /dev/null)
cache_keep "$suite-armel-root-"
