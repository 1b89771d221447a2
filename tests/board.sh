# The armel package and suite on QEMU's versatilepb (board/): the play job,
# its recording checked frame by frame, beside the suite job; kept in BUILD_DIR/board.
. "${0%/*}/lib.sh"

board=$SOURCE_DIR/board
kept=${BUILD_DIR:?}/board
deb=quorvel_${VERSION}_armel.deb
step() { echo "board: $*"; }

# What this script starts ends with it, even killed outright.
tied=(setpriv --pdeathsig TERM bash)

# The root disk (1 GiB) and three job disks of 256 MiB.
room "$work" 1900 "the board's disks"
SECONDS=0
root=$("${tied[@]}" "$board/root.sh") || { bad "the armel root could not be made"; finish; exit; }
step "root $root ($SECONDS s)"
SECONDS=0
kernel=$("${tied[@]}" "$board/kernel.sh") || { bad "the kernel could not be built"; finish; exit; }
step "kernel $kernel ($SECONDS s)"

# The root disk, its owners as the tarball says, lent by fakeroot.
SECONDS=0
image=$work/board.img
mkdir "$work/root"
fakeroot sh -c 'tar -C "$1" --numeric-owner -xzf "$2" &&
    install -m 755 "$3" "$1/sbin/board-init" && mkdir "$1/job" &&
    mkfs.ext4 -q -F -d "$1" "$4" 1G' sh "$work/root" "$root/root.tar.gz" \
    "$board/init" "$image" > "$work/image.log" 2>&1 ||
    { cat "$work/image.log"; bad "the root disk could not be made"; finish; exit; }
rm -rf "$work/root"
step "root disk ($SECONDS s)"

# One boot of the board, given JOB OUT LIMIT.
boot=("${tied[@]}" "$board/boot.sh" "$kernel" "$image")

# A boot whose starter is killed outright takes its emulator and job disk
# with it, found by a token of this run's in their paths.
hang=$work/hang-$$
mkdir "$hang"
echo hang > "$hang/name"
echo 'echo "board: hanging"; sleep 600' > "$hang/run"
("${boot[@]}" "$hang" "$hang" 120 & wait) &
starter=$!
until grep -q 'board: hanging' "$hang.console" 2> /dev/null || ! kill -0 $starter 2> /dev/null; do
    sleep 0.2
done
expect "a board runs a job that hangs" "$(grep -c 'board: hanging' "$hang.console")" 1
kill -KILL $starter && wait $starter 2> /dev/null
within 10 eval '! mine -f -- "${hang##*/}" > /dev/null'
expect "10 s later no process of that boot is left" "$(mine -fc -- "${hang##*/}")" 0
expect_missing "nor its job disk" "$hang.disk"

# The jobs' disks.
play=$work/play
mkdir "$play"
cp "$board/play.sh" "$play/run"
echo play > "$play/name"
echo "demo random" > "$play/clips"
"$HOST_BIN/democlip" "$play/demo.raw"
head -c 28600 /dev/urandom > "$play/random.raw"
cp -r "$root/repo" "$play/repo"
cp "$PACKAGES/$deb" "$BOARD_HELPERS/programme" "$play/"
cp -r "$SOURCE_DIR/debian/tests" "$play/tests"
mkdir "$play/tools" && cp "$SOURCE_DIR/tools/alsa-file.sh" "$play/tools/"

suite=$work/suite
mkdir -p "$suite/bin" "$suite/tests" "$suite/tools" "$suite/helpers"
cp "$board/suite.sh" "$suite/run"
echo suite > "$suite/name"
echo "$BOARD_GROUPS" > "$suite/groups"
cp "$QUORVEL" "$QUORVEL_TEST" "$FAILCALL_LIB" "$suite/bin/"
cp "$(dirname "$0")"/{lib.sh,e2e.sh,skeleton.sh} "$suite/tests/"
cp "$SOURCE_DIR"/tools/{suite,folders}.sh "$suite/tools/"
cp "$BOARD_HELPERS"/{aplay,programme} "$suite/helpers/"

rm -rf "$kept"
mkdir -p "$kept"
step "booting the play and suite jobs side by side"
SECONDS=0
"${boot[@]}" "$play" "$kept/play" 300 &
play_boot=$!
"${boot[@]}" "$suite" "$kept/suite" 900
expect "the suite's board reset itself" "$?" 0
wait "$play_boot"
expect "the play board reset itself" "$?" 0
step "both boards done in $SECONDS s"

# console LOG PREFIX: the lines the board reported with PREFIX, without it.
console() { sed -n "s/^board: $2//p" "$kept/$1.console"; }

for job in play suite; do
    expect "$job: the job ran to its end" "$(console $job end)" " 0" ||
        tail -n 30 "$kept/$job.console"
done

expect "apt installs the package and what it depends on from the job disk" \
    "$(console play 'play install status ')" 0 || console play 'play apt '
console play 'play apt ' | sed -n '/NEW packages will be installed/,/^[0-9]* upgraded/p'
expect "installed" "$(console play 'play installed ')" "install ok installed"
for test in $(installed_tests); do
    expect "debian/tests/$test on the board" "$(console play "play test $test status ")" 0 ||
        console play "play test $test "
done
expect "dpkg lists what the package installed" \
    "$(console play 'play listed ' | grep -E 'Quorvel|copyright|changelog' | sort | xargs)" \
    "$shipped_files"
for clip in demo random; do
    expect "$clip: status" "$(console play "play $clip status ")" 0
    expect "$clip: announcement" "$(console play "play $clip out ")" "$announced"
    expect "$clip: aplay's line" "$(console play "play $clip err ")" \
        "Playing raw data 'stdin' : $player_format"
    expect "$clip: the card plays at the program's rate, stereo S16" \
        "$(console play "play $clip hw_params " | grep -E '^(format|channels|rate):' | xargs)" \
        "format: S16_LE channels: 2 rate: 22100 (22100/1)"
done
expect "apt removes the package" "$(console play 'play remove status ')" 0
expect "none of its files is left" "$(console play 'play left ')" ""
expect "dpkg knows it no longer" "$(console play 'play removed ' | grep -c 'ok installed')" 0

wav=$kept/play.wav
expect "the card records at 22100 Hz, stereo, 16-bit" \
    "$(soxi -r "$wav") $(soxi -c "$wav") $(soxi -b "$wav") $(soxi -e "$wav")" "22100 2 16 Signed Integer PCM"
# A header left unfinished keeps its first guess of the length.
sox --ignore-length "$wav" -t raw -L "$kept/play.frames"
expect_played "the card" "$kept/play.frames" "$play/demo.raw" "$play/random.raw"

for group in $(< "$suite/groups") skeleton; do
    line=$(console suite "suite $group status ")
    expect "on the board: $group (status $line)" \
        "$(grep -cE '^0: [1-9][0-9]* passed, 0 failed$' <<< "$line")" 1
done
[ "$fails" -eq 0 ] || console suite '| '

finish
