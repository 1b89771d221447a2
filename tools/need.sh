#!/usr/bin/env bash
# Makes sure the named Debian packages are installed, and with --binfmt
# that the kernel runs 32-bit ARM programs through Debian's qemu-arm entry
# of binfmt_misc, registered as qemu-user-static registers it on a system
# run by systemd (from /usr/lib/binfmt.d/qemu-arm.conf; it lasts until the
# machine restarts).  Root does what is missing; anyone else does it
# through sudo where sudo works, and is otherwise told the command to run.
# --no-install-recommends is passed on to apt-get.
# Usage: need.sh [--no-install-recommends] [--binfmt] PACKAGE...
set -eu
options=() binfmt=
while :; do
    case ${1:-} in
        --no-install-recommends) options+=("$1") ;;
        --binfmt) binfmt=/proc/sys/fs/binfmt_misc ;;
        *) break ;;
    esac
    shift
done
missing= register=
for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2> /dev/null | grep -q 'install ok installed' ||
        missing="$missing $package"
done
[ -z "$binfmt" ] || [ -e "$binfmt/qemu-arm" ] || register=1
[ -z "$missing$register" ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo > /dev/null && sudo -v 2> /dev/null; then
        exec sudo bash "$0" ${options[@]+"${options[@]}"} ${binfmt:+--binfmt} "$@"
    fi
    [ -z "$missing" ] || echo "missing packages:$missing; install them with:" \
        "sudo apt-get install ${options[*]:+${options[*]} }${missing# }" >&2
    [ -z "$register" ] || echo "binfmt_misc has no qemu-arm entry; register it with: sudo make deps" >&2
    exit 1
fi
if [ -n "$missing" ]; then
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
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq ${options[@]+"${options[@]}"} \
        $missing > /dev/null
fi
if [ -n "$register" ]; then
    echo "registering qemu-arm with binfmt_misc"
    mountpoint -q "$binfmt" || mount -t binfmt_misc binfmt_misc "$binfmt"
    grep -v '^#' /usr/lib/binfmt.d/qemu-arm.conf > "$binfmt/register"
fi
