#!/usr/bin/env bash
# Makes sbuild's chroot for the armel package: the target suite for this
# machine's architecture with armel, the cross compiler, the cross Build-Depends
# alone (a missing one fails the build) and the suite's blhc.  Cached as
# SUITE-ARCH-chroot-KEY (debian/control, this script).  Prints the folder.
set -eu
cd "$(dirname "$0")/.."
. tools/suite.sh
arch=$(dpkg --print-architecture)
key=$(cat debian/control "$0" | sha256sum | cut -c1-16)
cache_entry "$suite-$arch-chroot-$key" chroot.tar 1000
echo "chroot: building a Debian $suite $arch chroot for package builds (about a minute)" >&2
bootstrap 1300 chroot.tar --variant=buildd --architectures="$arch,armel" \
    --include=crossbuild-essential-armel,fakeroot,blhc --skip=cleanup/apt/lists \
    --dpkgopt='path-exclude=/usr/share/{doc,man,locale}/*' \
    --customize-hook='copy-in debian /tmp' \
    --customize-hook='chroot "$1" apt-get -qq -y build-dep -a armel -P cross,nocheck /tmp' \
    --customize-hook='chroot "$1" apt-get -qq -y satisfy "libc-dev:armel, libstdc++-dev:armel"' \
    --customize-hook='rm -r "$1/tmp/debian"'
cache_keep "$suite-$arch-chroot-"
