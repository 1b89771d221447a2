#!/usr/bin/env bash
# Boots the board once: KERNEL on the root disk IMAGE (left as it was), the
# folder JOB its second disk, the console to OUT.console, the sound card to
# OUT.wav, stopped after LIMIT s.  Usage: boot.sh KERNEL IMAGE JOB OUT LIMIT
set -eu
. "$(dirname "$0")/../tools/folders.sh"
kernel=$1 image=$2 job=$3 out=$4 limit=$5
jobdisk=$out.disk
on_exit 'rm -f "$jobdisk"'
mkfs.ext4 -q -F -d "$job" "$jobdisk" 256M > /dev/null

# Started by root, the emulator gives up root's rights; each process dies with its parent.
options=()
if [ "$(id -u)" = 0 ]; then
    # QEMU 9.1 and later name it -run-with user=, and have no -runas.
    options=(-runas nobody)
    ! qemu-system-arm -help | grep -q -- '^-run-with.*user=' || options=(-run-with user=nobody)
fi
# QEMU reads a doubled comma as a comma.
env --default-signal=INT setpriv --pdeathsig KILL timeout --foreground -k 5 "$limit" \
    setpriv --pdeathsig KILL qemu-system-arm -M versatilepb -cpu arm926 -m 256 \
    -kernel "$kernel/zImage" -dtb "$kernel/versatile-pb.dtb" \
    -append "console=ttyAMA0 root=/dev/sda rw init=/sbin/board-init sym53c8xx.settle=0 panic=-1" \
    -drive file="${image//,/,,}",if=scsi,format=raw \
    -drive file="${jobdisk//,/,,}",if=scsi,format=raw,index=1 \
    -audiodev wav,id=snd0,path="${out//,/,,}.wav",out.frequency=22100 \
    -global pl041.audiodev=snd0 \
    -icount shift=1,sleep=off \
    -nographic -no-reboot -net none -snapshot "${options[@]}" \
    < /dev/null > "$out.console" 2>&1 &
status=0
wait $! || status=$?
sed -i 's/\r$//' "$out.console"
exit "$status"
