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
# In a folder of the run's own, whatever the tree's path: dpkg-buildflags
# maps no build path with a space or a quote out of the debug information.
# sbuild unpacks its chroot there too, which a disk takes seconds to write.
need=100
[ "$*" = "$native" ] || need=2000
private_place "$need" "the package build, sbuild's unpacked chroot among it,"
area=$run
mkdir "$area/quorvel-$version"
tar -C "$top" --exclude-vcs --exclude-from=<(sed -n 's|/$||; /^[^#]/p' "$top/.gitignore") \
    -cf - . | tar -C "$area/quorvel-$version" -xf -
(cd "$area" && dpkg-source -b "quorvel-$version" && cp quorvel_"$version".* "$out/") \
    > "$out/build-source.log" 2>&1 || { cat "$out/build-source.log" >&2; exit 1; }

for arch in "$@"; do
    if [ "$arch" = "$native" ]; then
        build=(dpkg-buildpackage -b -us -uc)
    else
        # sbuild's namespace reads its chroot, and unpacks it, in the run's
        # folder: the cache is closed to it.
        chroot=$(bash "$top/tools/chroot.sh")
        enterable
        cp "$chroot/chroot.tar" "$area/chroot.tar" && chmod 644 "$area/chroot.tar"
        echo '$unshare_tmpdir_template = "$ENV{AREA}/chroot.XXXXXX";' > "$area/config"
        build=(env AREA="$area" SBUILD_CONFIG="$area/config" sbuild --chroot-mode=unshare
            --chroot="$area/chroot.tar" --host="$arch" --profiles=cross,nocheck
            --dist="$(dpkg-parsechangelog -l "$top/debian/changelog" -S Distribution)"
            --build-dir="$area" --nolog --no-apt-update --no-apt-upgrade --no-apt-distupgrade
            --no-run-lintian --no-run-piuparts --no-run-autopkgtest "$area/quorvel_$version.dsc")
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
