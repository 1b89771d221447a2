#!/usr/bin/env bash
# Builds the Debian packages of this working tree into OUT: the source
# package of the tree less what git ignores, then this machine's by
# dpkg-buildpackage with the tests, and armel's from the .dsc by sbuild in
# a clean chroot of the target suite (tools/chroot.sh).
# Usage: package.sh OUT [ARCH...]   (default: this machine's and armel)
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/tools/folders.sh"
mkdir -p -- "$1"
out=$(realpath -- "$1")
shift
native=$(dpkg --print-architecture)
[ $# -gt 0 ] || set -- "$native" armel

version=$(dpkg-parsechangelog -l "$top/debian/changelog" -S Version)
# In /tmp, whatever the tree's path: dpkg-buildflags maps no build path
# with a space or a quote out of the debug information.
scratch /tmp/quorvel-package.XXXXXX
area=$made unpacked=
on_exit 'remove "$area"; [ -z "$unpacked" ] || remove "$unpacked"'
mkdir "$area/quorvel-$version"
tar -C "$top" --exclude-vcs --exclude-from=<(sed -n 's|/$||; /^[^#]/p' "$top/.gitignore") \
    -cf - . | tar -C "$area/quorvel-$version" -xf -
(cd "$area" && dpkg-source -b "quorvel-$version" && mv quorvel_"$version".* "$out/") \
    > "$out/build-source.log" 2>&1 || { cat "$out/build-source.log" >&2; exit 1; }

for arch in "$@"; do
    if [ "$arch" = "$native" ]; then
        build=(dpkg-buildpackage -b -us -uc)
    else
        chroot=$(bash "$top/tools/chroot.sh")
        # sbuild unpacks the chroot into a folder of our own, which a
        # killed build leaves to the next.
        fast_space 1100 "sbuild's chroot"
        scratch "$space/quorvel-sbuild.XXXXXX"
        unpacked=$made
        chmod 755 "$unpacked"
        echo '$unshare_tmpdir_template = "$ENV{UNPACKED}/chroot.XXXXXX";' > "$unpacked/config"
        build=(env UNPACKED="$unpacked" SBUILD_CONFIG="$unpacked/config" sbuild --chroot-mode=unshare
            --chroot="$chroot/chroot.tar" --host="$arch" --profiles=cross,nocheck
            --dist="$(dpkg-parsechangelog -l "$top/debian/changelog" -S Distribution)"
            --build-dir="$area" --nolog --no-apt-update --no-apt-upgrade --no-apt-distupgrade
            --no-run-lintian --no-run-piuparts --no-run-autopkgtest "$out/quorvel_$version.dsc")
    fi
    echo "package: building quorvel $version for $arch (log: $out/build-$arch.log)"
    if ! (cd "$area/quorvel-$version" && "${build[@]}") > "$out/build-$arch.log" 2>&1; then
        tail -n 30 "$out/build-$arch.log" >&2
        echo "package: the $arch build failed; the whole log is $out/build-$arch.log" >&2
        exit 1
    fi
    mv -f "$area"/quorvel*_"$version"_"$arch".* "$out/"
done
ls "$out"/quorvel*_"$version"_*.deb
