#!/usr/bin/env bash
# Makes autopkgtest's testbed for debian/tests: the target suite for this
# machine's architecture with what the tests depend on, cached as
# SUITE-ARCH-testbed-KEY (this script, those packages).  Prints the folder (testbed.tar).
set -eu
. "$(dirname "$0")/suite.sh"
arch=$(dpkg --print-architecture)
depends=$(sed -n 's/^Depends: //p' "$(dirname "$0")/../debian/tests/control" | tr ', ' '\n\n' |
    grep -v -e '^@$' -e '^$' | sort -u | xargs)
cache_entry "$suite-$arch-testbed-$(cat "$0" <(echo "$depends") | sha256sum | cut -c1-16)" testbed.tar 400
echo "testbed: building a Debian $suite $arch system for the as-installed tests" >&2
bootstrap 800 testbed.tar --variant=apt --skip=cleanup/apt/lists --include="${depends// /,}"
cache_keep "$suite-$arch-testbed-"
