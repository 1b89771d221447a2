#!/usr/bin/env bash
# Builds the Debian packages of this working tree into OUT (.deb and
# -dbgsym, .buildinfo, .changes): this machine's by dpkg-buildpackage with
# the tests, armel's as Debian builds, by sbuild in a clean chroot of the
# target suite (tools/chroot.sh), against that suite's libraries.  They
# build in a copy of the tree in OUT, as they write beside the source.
# Usage: package.sh OUT [ARCH...]   (default: this machine's and armel)
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/tests/apparatus.sh"
mkdir -p "$1"
out=$(cd "$1" && pwd)
shift
native=$(dpkg --print-architecture)
[ $# -gt 0 ] || set -- "$native" armel

version=$(dpkg-parsechangelog -l "$top/debian/changelog" -S Version)
area=$out/build
rm -rf "$area"
mkdir -p "$area/quorvel-$version"
unpacked=
on_exit 'rm -rf "$area"; [ -z "$unpacked" ] || remove "$unpacked"'
tar -C "$top" --exclude='./Debug*' --exclude=./.git -cf - . |
    tar -C "$area/quorvel-$version" -xf -

for arch in "$@"; do
    if [ "$arch" = "$native" ]; then
        build=(dpkg-buildpackage -b -us -uc)
    else
        chroot=$(bash "$top/tools/chroot.sh")
        # sbuild unpacks the chroot into a folder of our own, which a
        # killed build leaves to the next; in memory where it can, since
        # writing its 900 MB to a disk takes seconds more each time.
        space=${TMPDIR:-/tmp}
        [ -w /dev/shm ] && (room /dev/shm 1100 .) 2> /dev/null && space=/dev/shm
        room "$space" 1100 "sbuild's chroot"
        scratch "$space/quorvel-sbuild.XXXXXX"
        unpacked=$made
        chmod 755 "$unpacked"
        echo '$unshare_tmpdir_template = "$ENV{UNPACKED}/chroot.XXXXXX";' > "$unpacked/config"
        build=(env UNPACKED="$unpacked" SBUILD_CONFIG="$unpacked/config" sbuild --chroot-mode=unshare
            --chroot="$chroot/chroot.tar" --host="$arch" --profiles=cross,nocheck
            --build-dir="$area" --nolog --no-apt-update --no-apt-upgrade --no-apt-distupgrade
            --no-run-lintian --no-run-piuparts --no-run-autopkgtest)
    fi
    echo "package: building quorvel $version for $arch (log: $out/build-$arch.log)"
    if ! (cd "$area/quorvel-$version" && "${build[@]}") > "$out/build-$arch.log" 2>&1; then
        tail -n 30 "$out/build-$arch.log" >&2
        echo "package: the $arch build failed; the whole log is $out/build-$arch.log" >&2
        exit 1
    fi
    rm -f "$out"/quorvel*_"$version"_"$arch".*
    mv "$area"/quorvel*_"$version"_"$arch".* "$out/"
done
ls "$out"/quorvel*_"$version"_*.deb
