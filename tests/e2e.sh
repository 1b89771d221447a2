# End-to-end tests of Quorvel, with a recording stand-in aplay or the real one.  Usage: e2e.sh GROUP
. "${0%/*}/lib.sh"

group_programme() {
    local size d c
    for size in 0 1 2 20 28600 40000; do
        d=$(case_dir "size$size")
        c=$(clip "clip$size.raw" "$size")
        launch "$d" "$QUORVEL" "$c"
        expect_programme "clip of $size bytes" "$d" "$c"
        expect "clip of $size bytes: announcement" "$(< "$d/out")" "$announced"
        expect "clip of $size bytes: no message" "$(< "$d/err")" ""
    done

    # The stream's length for a full clip, worked out by hand.
    expect "a full clip gives 701710 bytes" "$(wc -c < "$work/size28600/audio")" 701710

    d=$(case_dir extra)
    launch "$d" "$QUORVEL" "$work/clip20.raw" "$work/clip2.raw" more
    expect_programme "extra arguments" "$d" "$work/clip20.raw"

    # A FIFO whose writer hands the clip over in small, slow pieces.
    d=$(case_dir fifo)
    c=$(clip fifoclip.raw 30000)
    mkfifo "$work/clip.fifo"
    (exec > "$work/clip.fifo"; for start in $(seq 0 3000 29999); do
        tail -c +$((start + 1)) "$c" | head -c 3000; sleep 0.02; done) &
    launch "$d" "$QUORVEL" "$work/clip.fifo"
    wait
    expect_programme "FIFO path" "$d" "$c"

    d=$(case_dir substituted)
    launch "$d" "$QUORVEL" <(cat "$work/clip28600.raw")
    expect_programme "process substitution" "$d" "$work/clip28600.raw"
}

group_errors() {
    local d c
    c=$(clip clip.raw 500)

    expect_usage "$QUORVEL"

    d=$(case_dir missing)
    launch "$d" "$QUORVEL" "$work/missing.raw"
    expect "missing file: message" "$(< "$d/err")" \
        "Error opening audio file $work/missing.raw: No such file or directory"
    expect "missing file: announcement" "$(< "$d/out")" "$announced"
    expect "missing file: player gets nothing" "$(wc -c < "$d/audio")" 0
    expect "missing file: producer fails" "$(< "$d/children")" "exit 1"
    expect "missing file: player's status" "$(< "$d/status")" 0

    d=$(case_dir directory)
    launch "$d" "$QUORVEL" "$work"
    expect "directory: message" "$(< "$d/err")" "Error reading from audio file"
    expect "directory: player gets nothing" "$(wc -c < "$d/audio")" 0
    expect "directory: producer fails" "$(< "$d/children")" "exit 1"

    d=$(case_dir noplayer)
    launch -n "$d" "$QUORVEL" "$c"
    expect "player missing: status" "$(< "$d/status")" 1
    expect "player missing: message" "$(< "$d/err")" \
        "Error starting audio player aplay: No such file or directory"
    expect "player missing: announcement" "$(< "$d/out")" "$announced"

    d=$(case_dir nopipe)
    FAILCALL=pipe preload launch "$d" "$QUORVEL" "$c"
    expect "pipe fails: status" "$(< "$d/status")" 1
    expect "pipe fails: message" "$(< "$d/err")" \
        "Error creating pipe: Too many open files"
    expect_missing "pipe fails: no player" "$d/args"

    d=$(case_dir nofork)
    FAILCALL=fork preload launch "$d" "$QUORVEL" "$c"
    expect "fork fails: status" "$(< "$d/status")" 1
    expect "fork fails: message" "$(< "$d/err")" \
        "Error starting audio producer: Resource temporarily unavailable"
    expect "fork fails: nothing announced" "$(< "$d/out")" ""
    expect_missing "fork fails: no player" "$d/args"
}

group_descriptors() {
    local d c
    c=$(clip clip.raw 28600)

    # Each set of closed standard descriptors: the stream is the programme or nothing.
    local closed flags
    for closed in 0 1 2 01 02 12 012; do
        flags=$(sed 's/./ -&/g' <<< "$closed")
        d=$(case_dir "closed$closed")
        launch $flags "$d" "$QUORVEL" "$c"
        expect_programme "descriptors $closed closed" "$d" "$c"
        d=$(case_dir "closed${closed}_missing")
        launch $flags "$d" "$QUORVEL" "$work/missing.raw"
        expect "descriptors $closed closed, missing clip: the player gets nothing" \
            "$(wc -c < "$d/audio")" 0
        expect "descriptors $closed closed, missing clip: producer fails" \
            "$(< "$d/children")" "exit 1"
    done

    d=$(case_dir short_writes)
    FAILCALL=short preload launch "$d" "$QUORVEL" "$c"
    expect_programme "short and interrupted writes" "$d" "$c"

    # A player that stops early, in the middle of the third pass.
    local early=$((5 * 28600 + 5 * 24515 + 1000))
    head -c $early "$(programme_of "$c")" > "$work/early"

    d=$(case_dir early_ignored)
    STANDIN_BYTES=$early launch -p "$d" "$QUORVEL" "$c"
    expect_same "early player, SIGPIPE ignored: bytes" "$d/audio" "$work/early"
    expect "early player, SIGPIPE ignored: one message, then nothing" \
        "$(< "$d/err")" "Error copying from audio to FIFO"
    expect "early player, SIGPIPE ignored: producer fails" "$(< "$d/children")" "exit 1"

    d=$(case_dir early_default)
    STANDIN_BYTES=$early launch "$d" "$QUORVEL" "$c"
    expect_same "early player: bytes" "$d/audio" "$work/early"
    expect "early player: no message" "$(< "$d/err")" ""
    expect "early player: producer ends by SIGPIPE" "$(< "$d/children")" "signal 13"
}

# A clip named as the caller's standard output is read from there, not the producer's pipe.
group_caller_stdout() {
    local path closed d c
    c=$(clip clip.raw 28600)
    for closed in "" -0; do
        for path in /dev/stdout /dev/fd/1; do
            d=$(case_dir "stdout$closed${path//\//_}")
            cp "$c" "$d/clip"
            launch $closed -a "$d/clip" "$d" "$QUORVEL" "$path"
            expect_programme "$path as the clip $closed" "$d" "$c"
        done
    done

    # A converter piped in: the producer reads the caller's standard input.
    d=$(case_dir stdin_pipe)
    cat "$c" | launch "$d" "$QUORVEL" /dev/stdin
    expect_programme "a clip piped in as /dev/stdin" "$d" "$c"
}

# Names from the command line, control bytes escaped; an empty argv[0] gives the built-in one.
group_names() {
    local d program utf8=$'\xc3\xa9'
    d=$(case_dir escaped)
    launch "$d" "$QUORVEL" "$work/"$'no\e]0;PWNED\a\e[2J\tx\\y\nError: all good '"$utf8"
    expect "a clip's name with control bytes: one line" "$(wc -l < "$d/err")" 1
    expect "a clip's name with control bytes: shown escaped" "$(< "$d/err")" \
        "Error opening audio file $work/"'no\033]0;PWNED\007\033[2J\tx\\y\nError: all good '"$utf8: No such file or directory"

    # A C1 control (CSI) and bytes that are not UTF-8 are escaped as well.
    d=$(case_dir c1)
    launch "$d" "$QUORVEL" "$work/"$'\xc2\x9b2J\x9b\xff'"$utf8"
    expect "a clip's name with C1 controls and stray bytes: shown escaped" "$(< "$d/err")" \
        "Error opening audio file $work/"'\302\2332J\233\377'"$utf8: No such file or directory"

    # A path near the kernel's limit, every byte escaped, leaves in one write.
    local long=$work part
    part=$(printf '\001%.0s' $(seq 200))
    for _ in $(seq 19); do long=$long/$part; done
    d=$(case_dir long)
    if [ -n "$RUN" ]; then
        RUN="$RUN -strace" launch "$d" "$QUORVEL" "$long"
        mv "$d/err" "$d/trace"
    else
        traced "$d/trace" "$d" "$QUORVEL" "$long"
    fi
    # A tracer that sees no write at all (strace under an emulator) cannot tell.
    if grep -q 'write(' "$d/trace"; then
        expect "a path of ${#long} bytes: the message leaves in one write" \
            "$(grep -c 'write(2,' "$d/trace")" 1
    else
        echo "skipped: one write for a path of ${#long} bytes: the tracer sees no write here"
    fi

    for program in "$QUORVEL" "$QUORVEL_TEST"; do
        d=$(case_dir "unnamed${program##*/}")
        launch -A '' "$d" "$program"
        expect "${program##*/} with an empty argv[0]: the usage names it" "$(< "$d/err")" \
            "$(printf 'No audio file specified.\nUse: %s <audioFile>' "${program##*/}")"
        d=$(case_dir "escaped${program##*/}")
        launch -A $'in\e[2J\nvoked' "$d" "$program"
        expect "${program##*/} named with control bytes: shown escaped" "$(< "$d/err")" \
            "$(printf 'No audio file specified.\nUse: %s <audioFile>' 'in\033[2J\nvoked')"
    done
}

# The producer, first of a new PID namespace, sees no parent (getppid() is 0) and plays.
group_namespace() {
    local unshare="unshare --pid"
    $unshare true 2> /dev/null || unshare="unshare --user --map-root-user --pid"
    $unshare true 2> "$work/refused" || skip "$unshare is refused here: $(< "$work/refused")"
    local d c
    c=$(clip clip.raw 28600)
    d=$(case_dir pidns)
    RUN="$unshare $RUN" launch "$d" "$QUORVEL" "$c"
    expect_programme "the producer in a new PID namespace" "$d" "$c"
}

# expect_run_gone NAME FIFO: within 10 s, no process of the user's naming FIFO, nor a reader on it.
expect_run_gone() {
    local re=${2##*/}
    if within 10 eval '! mine -f -- "$re" > /dev/null'; then ok
    else bad "$1: no process of the run remains; left:" $(mine -f -- "$re"); fi
    expect "$1: no reader left on the FIFO" \
        "$(dd if=/dev/null of="$2" oflag=nonblock conv=notrunc 2>&1 |
            grep -c 'No such device or address')" 1
    [ "$fails" = 0 ] || pkill -KILL -u "$EUID" -f -- "$re"
}

# fifo_case NAME: d, a fresh folder, and fifo, a FIFO in it named by a token of the run.
fifo_case() { d=$(case_dir "$1") && fifo=$d/clip-$$-$1.fifo && mkfifo "$fifo"; }

# kill_player NAME: the last background run, on fifo, loses its player and is waited for.
kill_player() {
    local run=$!
    wait_for "$d/pid" && kill "$(< "$d/pid")" ||
        { bad "$1: the player never started"; pkill -KILL -u "$EUID" -f -- "${fifo##*/}"; }
    wait "$run"
}

# A producer still loading when its player ends must end too.
group_lingering() {
    local d fifo
    fifo_case noplayer
    launch -n "$d" "$QUORVEL" "$fifo"
    expect "FIFO without a writer, no player: status" "$(< "$d/status")" 1
    expect_run_gone "FIFO without a writer, no player" "$fifo"

    # The producer lags behind a player that has failed already.
    fifo_case lagging
    FAILCALL=lagfork preload launch -n "$d" "$QUORVEL" "$fifo"
    nap 0.3
    expect_run_gone "FIFO without a writer, no player, producer lagging" "$fifo"

    # Another user's process naming the run's FIFO (a subordinate id of
    # this user's, where it has them) is neither counted nor signalled.
    fifo_case killed
    local other=(unshare --map-auto --map-root-user setpriv --reuid=1 --regid=1 --clear-groups)
    if "${other[@]}" true 2> /dev/null; then "${other[@]}" bash -c 'sleep 20; : "$0"' "$fifo" &
        other=$!
    else other= && echo "skipped: another user's process: no subordinate ids here"; fi
    launch "$d" "$QUORVEL" "$fifo" &
    kill_player "FIFO without a writer, player killed"
    expect_run_gone "FIFO without a writer, player killed" "$fifo"
    [ -z "$other" ] || { expect "another user's process is left alone" \
        "$(kill -0 "$other" && echo alive)" alive; pkill -P "$other"; kill "$other"; wait "$other"; }

    fifo_case stalled
    (exec > "$fifo"; head -c 1000 /dev/urandom; exec sleep 30) &
    local writer=$!
    launch "$d" "$QUORVEL" "$fifo" &
    kill_player "stalled writer, player killed"
    expect_run_gone "stalled writer, player killed" "$fifo"
    kill "$writer"; wait "$writer"
}

# A clip on a 3 GiB file (a full clip, then a hole), on 32-bit targets too.
group_large() {
    local d c
    c=$(clip clip.raw 28600)
    d=$(case_dir large)
    cp "$c" "$d/big.raw"
    truncate -s 3G "$d/big.raw"
    launch "$d" "$QUORVEL" "$d/big.raw"
    expect_programme "a clip on a 3 GiB file" "$d" "$c"
}

# The real aplay, its default device pointed at ALSA's file plugin.
group_real_aplay() {
    command -v aplay > /dev/null || { bad "aplay is not installed (package alsa-utils)"; return; }
    local size d c
    for size in 20 28600; do
        d=$(case_dir "real$size")
        c=$(clip "real$size.raw" "$size")
        sh "$(dirname "$0")/../tools/alsa-file.sh" "$d/config" "$d/recorded" raw
        XDG_CONFIG_HOME="$d/config" $RUN "$QUORVEL" "$c" > "$d/out" 2> "$d/err"
        expect "real aplay, $size bytes: status" "$?" 0
        expect_recorded "real aplay, $size bytes" "$d/recorded" "$c"
        expect "real aplay, $size bytes: format" \
            "$(grep -c "$player_format" "$d/err")" 1
    done
}

"group_$1"
finish
