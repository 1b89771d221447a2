#!/usr/bin/env bash
# Makes the testbed of the as-installed tests (debian/tests) for
# autopkgtest's unshare backend: a minimal system of the target suite for
# this machine's architecture, cached as SUITE-ARCH-testbed.  Prints the
# folder (testbed.tar).  Usage: testbed.sh
set -eu
. "$(dirname "$0")/suite.sh"
arch=$(dpkg --print-architecture)
cache_entry "$suite-$arch-testbed" testbed.tar 300
echo "testbed: building a Debian $suite $arch system for the as-installed tests" >&2
bootstrap 600 testbed.tar --variant=apt --skip=cleanup/apt/lists
cache_keep
