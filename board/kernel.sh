#!/usr/bin/env bash
# Builds the board's kernel from Debian's linux-source-6.1: versatile_defconfig
# merged with kernel.config, with the patches of this folder applied.  The
# zImage, versatile-pb.dtb and .config are kept in CACHE/kernel-KEY, KEY
# made of the source package's version, the fragment and the patches; a
# build goes on under a temporary name and is renamed only when complete.
# Prints the folder.  Usage: kernel.sh CACHE
set -eu
board=$(cd "$(dirname "$0")" && pwd)
cache=$1
make="make ARCH=arm CROSS_COMPILE=arm-linux-gnueabi-"
version=$(dpkg-query -W -f='${Version}' linux-source-6.1)
key=$(cat <(echo "$version") "$board/kernel.config" "$board"/*.patch |
    sha256sum | cut -c1-16)
out=$cache/kernel-$key
if [ -e "$out/zImage" ]; then
    echo "$out"
    exit 0
fi

mkdir -p "$cache"
tree=$(mktemp -d "$cache/.kernel-$key.XXXXXX")
trap 'rm -rf "$tree"' EXIT
log=$tree/build.log
fail() {
    tail -n 40 "$log" >&2
    echo "kernel: $*" >&2
    exit 1
}
echo "kernel: building linux-source-6.1 $version for the board (about 5 minutes)" >&2
tar -C "$tree" -xf /usr/src/linux-source-6.1.tar.xz
src=$tree/linux-source-6.1
for patch in "$board"/*.patch; do
    patch -d "$src" -p1 --forward --quiet < "$patch" >> "$log" 2>&1 ||
        fail "$(basename "$patch") does not apply"
done
(
    cd "$src"
    $make versatile_defconfig &&
        ARCH=arm scripts/kconfig/merge_config.sh -m .config "$board/kernel.config" &&
        $make olddefconfig
) >> "$log" 2>&1 || fail "configuration failed"

# merge_config.sh only warns when an option does not stick.
missing=
while read -r line; do
    case $line in
        CONFIG_*) want=$line ;;
        "# CONFIG_"*" is not set") want=$line ;;
        *) continue ;;
    esac
    grep -qxF "$want" "$src/.config" || missing="$missing ${want#\# }"
done < "$board/kernel.config"
[ -z "$missing" ] || fail "options that did not stick:$missing"

$make -C "$src" -j"$(nproc)" zImage dtbs >> "$log" 2>&1 || fail "the build failed"
mkdir "$tree/out"
cp "$src/arch/arm/boot/zImage" "$src/arch/arm/boot/dts/versatile-pb.dtb" \
    "$src/.config" "$tree/out/"
mv "$tree/out" "$out"
echo "$out"
