#!/usr/bin/env bash
# Builds the Debian packages of this working tree with dpkg-buildpackage
# and collects the .deb files (with their -dbgsym packages), .buildinfo
# and .changes files in OUT.  The build runs in a copy of the tree inside
# OUT, since dpkg-buildpackage writes its results beside the source.
# Usage: package.sh OUT [ARCH...]   (default: this machine's and armel)
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
shift
native=$(dpkg --print-architecture)
[ $# -gt 0 ] || set -- "$native" armel

version=$(dpkg-parsechangelog -l "$top/debian/changelog" -S Version)
area=$out/build
rm -rf "$area"
mkdir -p "$area/quorvel-$version"
trap 'rm -rf "$area"' EXIT
tar -C "$top" --exclude='./Debug*' --exclude=./.git -cf - . |
    tar -C "$area/quorvel-$version" -xf -

for arch in "$@"; do
    if [ "$arch" = "$native" ]; then
        options=
    else
        options="-a$arch -Pcross,nocheck"
    fi
    echo "package: building quorvel $version for $arch (log: $out/build-$arch.log)"
    if ! (cd "$area/quorvel-$version" && dpkg-buildpackage $options -b -us -uc) \
        > "$out/build-$arch.log" 2>&1; then
        tail -n 30 "$out/build-$arch.log" >&2
        echo "package: the $arch build failed; the whole log is $out/build-$arch.log" >&2
        exit 1
    fi
    rm -f "$out"/quorvel*_"$version"_"$arch".*
    mv "$area"/quorvel*_"$version"_"$arch".* "$out/"
done
ls "$out"/quorvel*_"$version"_*.deb
