#!/usr/bin/env bash
# Builds the board's kernel from the target suite's linux-source-6.1 with
# kernel.config and this folder's patches, cached as kernel-KEY.  Prints the folder.
set -eu
board=$(cd "$(dirname "$0")" && pwd)
. "$board/../tools/suite.sh"
make="make ARCH=arm CROSS_COMPILE=arm-linux-gnueabi-"
unset MAKEFLAGS MFLAGS MAKELEVEL
source=linux-source-6.1

# build RUN TREE: unpacks, patches, configures and builds the source of
# RUN/debs in RUN/src and copies what the board needs into TREE/out.
build() {
    local src=$1/src/$source log=$1/build.log
    fail() {
        tail -n 40 "$log" >&2
        echo "kernel: $*" >&2
        exit 1
    }
    export TMPDIR=$1/src
    dpkg-deb --fsys-tarfile "$1"/debs/"$source"_*.deb |
        tar -xOf - "./usr/src/$source.tar.xz" | tar -C "$1/src" -xJf -
    for patch in "$board"/*.patch; do
        patch -d "$src" -p1 --forward --quiet < "$patch" >> "$log" 2>&1 ||
            fail "$(basename "$patch") does not apply"
    done
    # merge_config.sh splits its files' paths at a space.
    cp "$board/kernel.config" "$1/src/fragment"
    (
        cd "$src"
        $make versatile_defconfig &&
            ARCH=arm scripts/kconfig/merge_config.sh -m .config ../fragment &&
            $make olddefconfig
    ) >> "$log" 2>&1 || fail "configuration failed"

    # merge_config.sh only warns when an option does not stick.
    local missing
    missing=$(grep -E '^(CONFIG_|# CONFIG_.* is not set$)' "$board/kernel.config" |
        grep -vxF -f "$src/.config" | sed 's/^# //' | xargs)
    [ -z "$missing" ] || fail "options that did not stick: $missing"

    $make -C "$src" -j"$(nproc)" zImage dtbs >> "$log" 2>&1 || fail "the build failed"
    mkdir "$2/out"
    cp "$src/arch/arm/boot/zImage" "$src/arch/arm/boot/dts/versatile-pb.dtb" \
        "$src/.config" "$2/out/"
}

# The source's 80 000 files go to a tmpfs of the build's own mount namespace.
if [ "${1:-}" = --build ]; then
    on_exit :
    build "$2" "$3"
    exit
fi
key=$(cat <(echo "$suite $source") "$0" "$board/kernel.config" "$board"/*.patch |
    sha256sum | cut -c1-16)
cache_entry "kernel-$key" zImage 250
room memory 3000 "the kernel's build, in a tmpfs,"
private_place 200 "the kernel's source package"
target_fetch armel "$source"
echo "kernel: building $suite's $source for the board (about 4 minutes)" >&2
mkdir "$run/src"
unshare --user --map-root-user --mount sh -c \
    'mount -t tmpfs kernel "$1/src" && exec bash "$3" --build "$1" "$2"' sh "$run" "$tree" "$0"
cache_keep kernel-
