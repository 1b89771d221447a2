#!/usr/bin/env bash
# Makes sure the packages are installed; with --binfmt, that binfmt_misc runs
# ARM programs (Debian's qemu-arm entry) and the user has user namespaces and
# subordinate ids.  Root does what is missing; others sudo, or get the command.
# Usage: need.sh [--no-install-recommends] [--binfmt] PACKAGE...
set -eu
. "$(dirname "$0")/suite.sh"
options=() binfmt=
while :; do
    case ${1:-} in
        --no-install-recommends) options+=("$1") ;;
        --binfmt) binfmt=/proc/sys/fs/binfmt_misc ;;
        *) break ;;
    esac
    shift
done
# An ARM program that the cross toolchain's package brings.
arm_runs() { /usr/arm-linux-gnueabi/lib/ld-linux.so.3 --help > /dev/null 2>&1; }
has_ids() { grep -qs "^\($user\|$(id -u "$user")\):" "$1"; }
missing= register= ids=
for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2> /dev/null | grep -q 'install ok installed' ||
        missing="$missing $package"
done
user=${SUDO_USER:-$(id -un)}
if [ -n "$binfmt" ]; then
    arm_runs || register=1
    if ! { has_ids /etc/subuid && has_ids /etc/subgid; }; then
        ids=$(cat /etc/subuid /etc/subgid 2> /dev/null | awk -F: 'BEGIN { m = 100000 }
            $2 + $3 > m { m = $2 + $3 } END { print m "-" m + 65535 }')
    fi
    if [ "$(id -u)" -ne 0 ] && ! unshare --user --map-root-user true 2> /dev/null; then
        echo "user namespaces are disabled: the board's root and kernel need them; see sysctl" \
            "user.max_user_namespaces (or kernel.apparmor_restrict_unprivileged_userns)" >&2
        exit 1
    fi
fi
[ -z "$missing$register$ids" ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo > /dev/null && sudo -v 2> /dev/null; then
        exec sudo bash "$0" ${options[@]+"${options[@]}"} ${binfmt:+--binfmt} "$@"
    fi
    [ -z "$missing" ] || echo "missing packages:$missing; install them with:" \
        "sudo apt-get install ${options[*]:+${options[*]} }${missing# }" >&2
    [ -z "$register" ] || echo "binfmt_misc runs no ARM program; register qemu-arm with: sudo make deps" >&2
    [ -z "$ids" ] || echo "$user has no subordinate ids for the namespaces; give it some with:" \
        "sudo usermod --add-subuids $ids --add-subgids $ids $user" >&2
    exit 1
fi
if [ -n "$missing" ]; then
    echo "installing$missing"
    # What apt fetches is bounded; dpkg, once it runs, is never cut short.
    fetch() { timeout --foreground -k 5 "$1" apt-get -c <(echo "$apt_bounds") "${@:2}"; }
    fetch 5m update -qq
    # apt takes a name it does not know for a pattern: each must be known.
    unknown=
    for package in $missing; do
        apt-cache pkgnames "$package" 2> /dev/null | grep -qxF "$package" ||
            unknown="$unknown $package"
    done
    [ -z "$unknown" ] || { echo "not in this machine's Debian archive:$unknown" >&2; exit 1; }
    options+=(-y -qq $missing)
    fetch 10m install --download-only "${options[@]}" > /dev/null
    DEBIAN_FRONTEND=noninteractive apt-get install "${options[@]}" > /dev/null
fi
if [ -n "$ids" ]; then
    echo "giving $user the subordinate ids $ids"
    usermod --add-subuids "$ids" --add-subgids "$ids" "$user"
fi
# An entry that runs no ARM program is replaced; binfmt_misc may not be mounted.
if [ -n "$binfmt" ] && ! arm_runs; then
    echo "registering qemu-arm with binfmt_misc"
    mountpoint -q "$binfmt" || mount -t binfmt_misc binfmt_misc "$binfmt"
    [ ! -e "$binfmt/qemu-arm" ] || echo -1 > "$binfmt/qemu-arm"
    grep -v '^#' /usr/lib/binfmt.d/qemu-arm.conf > "$binfmt/register"
    arm_runs || { echo "binfmt_misc: qemu-arm is registered, yet ARM programs do not run" >&2; exit 1; }
fi
