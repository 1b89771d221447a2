#!/usr/bin/env bash
# Makes the testbed of the package's as-installed tests (debian/tests): a
# minimal Debian system of the target suite for this machine's
# architecture, by mmdebstrap as whoever runs it, for autopkgtest's
# unshare backend.  Kept in the cache as SUITE-ARCH-testbed.  Prints the
# folder, which holds testbed.tar.  Usage: testbed.sh
set -eu
. "$(dirname "$0")/suite.sh"
arch=$(dpkg --print-architecture)
cache_entry "$suite-$arch-testbed" testbed.tar 300
echo "testbed: building a Debian $suite $arch system for the as-installed tests" >&2
bootstrap 600 testbed.tar --variant=apt --skip=cleanup/apt/lists
cache_keep
