# The armel package on a Debian bookworm armel system: a minimal root made
# with mmdebstrap from the archive this machine's apt uses, its programs
# run by qemu-arm-static registered with binfmt_misc, on an ARMv5TE CPU
# model; the package installed there with apt, as a board's owner would,
# and played through that system's own aplay.  The root's tarball and the
# packages apt fetched into it are kept in CACHE for the next run.
# Usage: system.sh, with lib.sh's HOST_BIN (which has democlip and
# programme), PACKAGES, VERSION, SOURCE_DIR and QEMU_CPU (the CPU model).
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/archive.sh"

if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: the armel system test needs root, for binfmt_misc, chroot and mounts"
    exit 77
fi

deb=quorvel_${VERSION}_armel.deb
root=$work/root
binfmt=/proc/sys/fs/binfmt_misc
entry=quorvel-armel-$$
mounted=
export QEMU_CPU=${QEMU_CPU:?}

step() { echo "system: $*"; }

# Runs a command inside the root, as root or (-u) as the user nobody.
inside() {
    local user=
    if [ "$1" = -u ]; then
        user=--userspec=65534:65534
        shift
    fi
    chroot $user "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
        HOME=/tmp LC_ALL=C.UTF-8 QEMU_CPU="$QEMU_CPU" "$@"
}

# Puts the machine back as it was: nothing mounted, no registration.
restore() {
    local m
    for m in $mounted; do
        umount "$m" 2> /dev/null
    done
    mounted=
    [ -e "$binfmt/$entry" ] && echo -1 > "$binfmt/$entry"
    [ -e "$binfmt/$entry" ] && bad "the registration $entry is still there"
    if [ -n "${binfmt_mounted:-}" ]; then
        umount "$binfmt"
        binfmt_mounted=
    fi
}
trap 'restore; rm -rf "$work"' EXIT

bash "$SOURCE_DIR/tools/need.sh" mmdebstrap qemu-user-static || exit 1
host_packages() { dpkg-query -W -f='${Package}:${Architecture} ${Version} ${Status}\n' | sort; }
host_packages > "$work/host-before"
grep ' binfmt_misc ' /proc/self/mounts > "$work/binfmt-before"

step "registering qemu-arm-static with binfmt_misc as $entry"
if [ ! -e "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt" && binfmt_mounted=1
fi
# ARM EABI ELF executables and shared objects, little-endian; F opens the
# interpreter now, so that it works inside the root too; P keeps argv[0]
# as the caller gave it, as on a real board.
printf '%s' ":$entry:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x28\x00:\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-arm-static:PF" \
    > "$binfmt/register" || { bad "cannot register with binfmt_misc"; finish; exit; }

mkdir -p "$cache/archives"
if [ ! -s "$tarball" ]; then
    step "building a Debian bookworm armel root with mmdebstrap (about 2 minutes)"
    armel_sources "$work/armel.sources" || exit 1
    partial=$cache/.bookworm-armel-$$.tar.gz
    if ! mmdebstrap --variant=apt --architectures=armel --include="${root_packages// /,}" \
        bookworm "$partial" "$work/armel.sources" > "$work/mmdebstrap.log" 2>&1; then
        rm -f "$partial"
        tail -n 30 "$work/mmdebstrap.log"
        bad "mmdebstrap could not build the root"
        finish
        exit
    fi
    rm -f "$cache"/bookworm-armel*.tar.gz
    mv "$partial" "$tarball"
fi

step "unpacking the root from $tarball"
mkdir "$root"
tar -C "$root" --numeric-owner -xzf "$tarball"
mount -t proc proc "$root/proc" && mounted="$root/proc"
cp /etc/resolv.conf "$root/etc/resolv.conf"
expect "the root runs on an ARMv5TE CPU" \
    "$(inside env LD_SHOW_AUXV=1 /bin/true | sed -n 's/^AT_PLATFORM: *//p')" v5l

step "installing $deb with apt"
cp "$PACKAGES/$deb" "$root/tmp/"
cp "$cache"/archives/*.deb "$root/var/cache/apt/archives/" 2> /dev/null
inside apt-get -q --error-on=any update > "$work/apt.log" 2>&1 &&
    inside apt-get -y install "/tmp/$deb" >> "$work/apt.log" 2>&1
expect "apt installs the package and what it depends on" "$?" 0 || tail -n 30 "$work/apt.log"
sed -n '/NEW packages will be installed/,/^[0-9]* upgraded/p' "$work/apt.log"
cp "$root"/var/cache/apt/archives/*.deb "$cache/archives/" 2> /dev/null
expect "installed" "$(inside dpkg-query -W -f='${Status}' quorvel)" "install ok installed"

step "playing the demo clip and a random clip"
file_plugin /tmp/recorded > "$root/etc/asound.conf"
"$HOST_BIN/democlip" "$root/tmp/demo.raw"
head -c 28600 /dev/urandom > "$root/tmp/random.raw"
chmod 644 "$root"/tmp/*.raw
for name in demo random; do
    rm -f "$root/tmp/recorded"
    inside -u Quorvel "/tmp/$name.raw" > "$work/out" 2> "$work/err"
    expect "$name clip: status" "$?" 0
    expect "$name clip: announcement" "$(cat "$work/out")" "Launching audio player..."
    expect "$name clip: aplay's format line" \
        "$(grep -c "$player_format" "$work/err")" 1
    expect_recorded "$name clip" "$root/tmp/recorded" "$root/tmp/$name.raw"
done

inside -u Quorvel > "$work/out" 2> "$work/err"
expect "no argument: status" "$?" 1
expect "no argument: usage" "$(cat "$work/err")" \
    "$(printf 'No audio file specified.\nUse: Quorvel <audioFile>')"
expect "man finds the manual page" "$(inside -u man -w Quorvel)" /usr/share/man/man1/Quorvel.1.gz
expect "dpkg lists what the package installed" \
    "$(inside dpkg -L quorvel | grep -E 'Quorvel|copyright|changelog' | sort | xargs)" \
    "$shipped_files"

step "removing the package"
inside apt-get -y remove quorvel > "$work/remove.log" 2>&1
expect "apt removes the package" "$?" 0 || cat "$work/remove.log"
expect_missing "the program is gone" "$root/usr/bin/Quorvel"
expect_missing "the manual page is gone" "$root/usr/share/man/man1/Quorvel.1.gz"
expect "dpkg knows it no longer" \
    "$(inside dpkg-query -W -f='${Status}' quorvel 2>/dev/null | grep -c 'ok installed')" 0

restore
expect "nothing left mounted" "$(grep -c " $work/" /proc/self/mounts)" 0
expect "binfmt_misc mounted as it was" \
    "$(grep ' binfmt_misc ' /proc/self/mounts)" "$(cat "$work/binfmt-before")"
host_packages > "$work/host-after"
expect_same "the host's packages are as they were" "$work/host-after" "$work/host-before"
finish
