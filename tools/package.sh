#!/usr/bin/env bash
# Builds into OUT the source package of the tree less what git ignores,
# this machine's by dpkg-buildpackage with the tests, and armel's from the
# .dsc by sbuild in a clean chroot of the target suite (tools/chroot.sh).
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
# In the run's own folder, whatever the tree's path: dpkg-buildflags maps no
# path with a space or a quote out of the debug information.
need=100
[ "$*" = "$native" ] || need=1100
private_place "$need" "the package build, sbuild's unpacked chroot among it,"
area=$run
mkdir "$area/quorvel-$version"
tar -C "$top" --exclude-vcs --exclude-from=<(sed -n 's|/$||; /^[^#]/p' "$top/.gitignore") \
    -cf - . | tar -C "$area/quorvel-$version" -xf -
(cd "$area" && dpkg-source -b "quorvel-$version" && cp quorvel_"$version".* "$out/") \
    > "$out/build-source.log" 2>&1 || { cat "$out/build-source.log" >&2; exit 1; }

# A build whose every input is as before is taken from the cache;
# QUORVEL_FRESH=1 builds all the same, and keeps nothing.
for arch in "$@"; do
    if [ "$arch" = "$native" ]; then
        # From /: dpkg-buildflags names the folder it runs in, not an input here.
        inputs=$(dpkg-query -W -f='${Package}:${Architecture} ${Version}\n'
            (cd / && dpkg-buildflags --export=sh); env | grep '^DEB_' | sort; uname -r)
        build=(dpkg-buildpackage -b -us -uc)
    else
        # sbuild's namespace unpacks the chroot in the run's folder, from
        # what sbuild reads of it as this user.
        chroot=$(bash "$top/tools/chroot.sh")
        inputs=$(stat -c '%n %s %Y' "$chroot/chroot.tar"; dpkg-query -W sbuild)
        enterable
        ln -s "$chroot/chroot.tar" "$area/chroot.tar"
        echo '$unshare_tmpdir_template = "$ENV{AREA}/chroot.XXXXXX";' > "$area/config"
        build=(env AREA="$area" SBUILD_CONFIG="$area/config" sbuild --chroot-mode=unshare
            --chroot="$area/chroot.tar" --host="$arch" --profiles=cross,nocheck
            --dist="$(dpkg-parsechangelog -l "$top/debian/changelog" -S Distribution)"
            --build-dir="$area" --nolog --no-apt-update --no-apt-upgrade --no-apt-distupgrade
            --no-run-lintian --no-run-piuparts --no-run-autopkgtest "$area/quorvel_$version.dsc")
    fi
    key=$(cat "$area/quorvel_$version.dsc" "$0" <(echo "$inputs") | sha256sum | cut -c1-16)
    (
        at_exit=
        if [ -z "${QUORVEL_FRESH:-}" ]; then
            cache_entry "package-$arch-$key" "build-$arch.log" 20
        else
            tree=$area/fresh
        fi
        echo "package: building quorvel $version for $arch (log: $out/build-$arch.log)" >&2
        if ! (cd "$area/quorvel-$version" && "${build[@]}") > "$out/build-$arch.log" 2>&1; then
            tail -n 30 "$out/build-$arch.log" >&2
            echo "package: the $arch build failed; the whole log is $out/build-$arch.log" >&2
            exit 1
        fi
        mkdir -p "$tree/out"
        mv -f "$area"/quorvel*_"$version"_"$arch".* "$tree/out/"
        cp "$out/build-$arch.log" "$tree/out/"
        [ -n "${QUORVEL_FRESH:-}" ] && echo "$tree/out" || cache_keep "package-$arch-"
    ) > "$area/built" || exit 1
    cp -f --no-preserve=mode "$(cat "$area/built")"/* "$out/"
    # What the checks of this build key their kept answers on.
    echo "$key" > "$out/build-$arch.key"
done
ls "$out"/quorvel*_"$version"_*.deb
