# The armel package and the armel suite on an emulated ARMv5TE board,
# QEMU's versatilepb, with a 32-bit ARM kernel of our own and its sound
# card, the PL041 AACI with an LM4549 codec.  Two boots run side by side:
# one plays clips with the installed package through the sound card,
# whose output the host checks frame by frame; the other runs the
# end-to-end groups and the skeleton's test on the board's kernel.  The
# kernel and the provisioned root disk are cached; the last run's
# recording and consoles are kept in BUILD_DIR/board.
# Usage: board.sh, with lib.sh's variables, QUORVEL_TEST, FAILCALL_LIB,
# BOARD_HELPERS (the target's stand-in and programme), PACKAGES, VERSION,
# SOURCE_DIR and BUILD_DIR.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/archive.sh"

if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: the board test needs root, for the ownership of the files in its root disk"
    exit 77
fi
board=$SOURCE_DIR/board
kept=$BUILD_DIR/board
step() { echo "board: $*"; }

# The emulator and what the kernel's build needs; qemu-system-arm's
# recommends would bring in a desktop.
bash "$SOURCE_DIR/tools/need.sh" --no-install-recommends qemu-system-arm \
    linux-source-6.1 bc bison flex libssl-dev e2fsprogs || exit 1
[ -s "$tarball" ] || { bad "no armel root at $tarball: the system test makes it"; finish; exit; }

SECONDS=0
kernel=$(bash "$board/kernel.sh" "$cache") || { bad "the kernel could not be built"; finish; exit; }
step "kernel $kernel ($SECONDS s)"
# Only the newest of each package that apt fetched into the armel root.
mapfile -t debs < <(cd "$cache/archives" && ls *.deb | sort -t_ -k1,1 -k2,2Vr |
    awk -F_ -v dir="$PWD" '!seen[$1]++ { print dir "/" $0 }')
SECONDS=0
image=$(bash "$board/image.sh" "$cache" "$kernel" "$tarball" \
    "$PACKAGES/quorvel_${VERSION}_armel.deb" "${debs[@]}") ||
    { bad "the root disk could not be made"; finish; exit; }
step "root disk $image ($SECONDS s; $(du -m "$image" | cut -f1) MiB used of $(($(stat -c %s "$image") >> 20)))"

# The jobs' disks.
play=$work/play
mkdir "$play"
cp "$board/play.sh" "$play/run"
echo play > "$play/name"
echo "demo random" > "$play/clips"
"$HOST_BIN/democlip" "$play/demo.raw"
head -c 28600 /dev/urandom > "$play/random.raw"

suite=$work/suite
mkdir -p "$suite/bin" "$suite/tests" "$suite/helpers"
cp "$board/suite.sh" "$suite/run"
echo suite > "$suite/name"
echo "programme errors descriptors caller_stdout names namespace lingering large" \
    > "$suite/groups"
cp "$QUORVEL" "$QUORVEL_TEST" "$FAILCALL_LIB" "$suite/bin/"
cp "$(dirname "$0")"/{lib.sh,e2e.sh,skeleton.sh} "$suite/tests/"
cp "$BOARD_HELPERS"/{aplay,programme} "$suite/helpers/"

rm -rf "$kept"
mkdir -p "$kept"
step "booting the play and suite jobs side by side"
SECONDS=0
bash "$board/boot.sh" "$kernel" "$image" "$play" "$kept/play" 300 -snapshot &
bash "$board/boot.sh" "$kernel" "$image" "$suite" "$kept/suite" 900 -snapshot
expect "the suite's board reset itself" "$?" 0
wait %1
expect "the play board reset itself" "$?" 0
step "both boards done in $SECONDS s"

# console LOG PREFIX: the lines the board reported with PREFIX, without it.
console() { sed -n "s/^board: $2//p" "$kept/$1.console"; }

for job in play suite; do
    expect "$job: the job ran to its end" "$(console $job end)" " 0" ||
        tail -n 30 "$kept/$job.console"
done

for clip in demo random; do
    expect "$clip: status" "$(console play "play $clip status ")" 0
    expect "$clip: announcement" "$(console play "play $clip out ")" "$announced"
    expect "$clip: aplay's line" "$(console play "play $clip err ")" \
        "Playing raw data 'stdin' : $player_format"
    expect "$clip: the card plays at the program's rate, stereo S16" \
        "$(console play "play $clip hw_params " | grep -E '^(format|channels|rate):' | xargs)" \
        "format: S16_LE channels: 2 rate: 22100 (22100/1)"
done
(cd "$play" && "$HOST_BIN/recording" "$kept/play.wav" demo.raw random.raw) > "$kept/recording.txt"
expect "the card played both programmes exactly" "$?" 0
sed 's/^/  /' "$kept/recording.txt"
# What the driver's ring hands on while draining: never more than a
# period of 1024 frames.
expect "only a few stale frames between and after the programmes" \
    "$(awk '/stale frames/ { if ($(NF - 2) > 1024) print }' "$kept/recording.txt")" ""

for group in $(cat "$suite/groups") skeleton; do
    line=$(console suite "suite $group status ")
    expect "on the board: $group (status $line)" \
        "$(grep -cE '^0: [1-9][0-9]* passed, 0 failed$' <<< "$line")" 1
done
[ "$fails" -eq 0 ] || console suite '| '

finish
