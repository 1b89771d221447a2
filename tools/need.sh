#!/usr/bin/env bash
# Makes sure the named Debian packages are installed: as root it installs
# the missing ones with apt-get; anyone else is told the command to run.
# --no-install-recommends is passed on to apt-get.
# Usage: need.sh [--no-install-recommends] PACKAGE...
set -eu
options=
if [ "${1:-}" = --no-install-recommends ]; then
    options=$1
    shift
fi
missing=
for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2> /dev/null | grep -q 'install ok installed' ||
        missing="$missing $package"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages:$missing; install them with: sudo apt-get install $options$missing" >&2
    exit 1
fi
echo "installing$missing"
# A package of another architecture, NAME:ARCH, needs ARCH known to dpkg.
for package in $missing; do
    case $package in
        *:*)
            arch=${package#*:}
            dpkg --print-foreign-architectures | grep -qx "$arch" ||
                dpkg --add-architecture "$arch"
            ;;
    esac
done
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $options $missing > /dev/null
