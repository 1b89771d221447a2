# Tests of the demo, the manual page, the install, the build and the board's
# recording check, in the native build folder (BUILD_DIR).
WORK_IN=$BUILD_DIR/tests
. "${0%/*}/lib.sh"

# make_tree TARGET VAR=VALUE...: make TARGET in the tree, quietly, each value's $ doubled.
make_tree() { local set=("${@:2}"); make -s -C "$SOURCE_DIR" "$1" "${set[@]//\$/\$\$}"; }

group_demo() {
    local clip=$BUILD_DIR/demo.raw
    # A second run of the generator must give the same bytes.
    "$HOST_BIN/democlip" "$work/again.raw"
    expect_same "demo clip: deterministic" "$work/again.raw" "$clip"
    expect "demo clip: 28600 bytes" "$(wc -c < "$clip")" 28600
    expect "demo clip: not silent" \
        "$(tr -d '\200' < "$clip" | wc -c | awk '{print ($1 > 20000)}')" 1

    # With a TMPDIR of another user's, which it does not use.
    unshare --map-auto --map-root-user sh -c 'mkdir -m 755 "$1" && chown 1:1 "$1"' sh "$work/open"
    (umask 022 && TMPDIR=$work/open make_tree demo NATIVE="$BUILD_DIR" RECORD=1) > "$work/said" 2>&1
    expect "make demo: status" "$?" 0
    expect "demo.wav: readable by all, like the rest of the build" \
        "$(stat -c %a "$BUILD_DIR/demo.wav")" 644
    expect "make demo: one line says where the recording is" \
        "$(grep -c "recorded to $BUILD_DIR/demo.wav" "$work/said")" 1
    local wav=$BUILD_DIR/demo.wav
    expect "demo.wav: format" \
        "$(soxi -r "$wav") $(soxi -c "$wav") $(soxi -b "$wav") $(soxi -e "$wav")" \
        "22100 1 8 Unsigned Integer PCM"
    # The data chunk follows a 44-byte header.
    tail -c +45 "$wav" > "$work/data"
    expect_recorded "demo.wav" "$work/data" "$clip"
    expect_missing "demo: no partial recording left" "$wav.partial"
    expect "demo.png: a picture" "$(head -c 4 "$BUILD_DIR/demo.png" | tail -c 3)" PNG
}

group_manual() {
    local page=$SOURCE_DIR/Quorvel.1
    MANWIDTH=80 man --warnings -l "$page" > "$work/page" 2> "$work/warnings"
    expect "man page renders" "$?" 0
    expect "man page: no warnings" "$(< "$work/warnings")" ""
    # Every line the program can print, as the page shows it.
    sed -n '/^DIAGNOSTICS/,/^ENVIRONMENT/p' "$work/page" > "$work/diagnostics"
    local message
    while IFS= read -r message; do
        expect "DIAGNOSTICS lists: $message" \
            "$(grep -cF -- "$message" "$work/diagnostics")" 1
    done <<'MESSAGES'
No audio file specified.
Use: program <audioFile>
Launching audio player...
Error creating pipe: REASON
Error starting audio producer: REASON
Error starting audio player aplay: REASON
Error moving the pipe onto standard input: REASON
Error moving the pipe onto standard output: REASON
Error opening audio file PATH: REASON
Error reading from audio file
Error copying from audio to FIFO
Error opening /dev/null: REASON
MESSAGES

    # The figures the README and the page give, against what the program
    # writes for a full clip without a zero byte: its passes' lengths, the
    # bytes and seconds in all, and the seconds before the first nonzero.
    local d c figures
    d=$(case_dir figures)
    c=$(clip full.raw 28600) && tr '\0' '\1' < "$c" > "$d/clip"
    traced "$d/trace" "$d" "$BUILD_DIR/Quorvel" "$d/clip"
    figures=$(sed -n 's/^write(1, .*) = \([0-9]\{4,\}\)$/\1/p' "$d/trace" | uniq | xargs)
    figures+=$(cmp "$d/audio" /dev/zero 2>&1 | sed -n 's/.* \([0-9]*\), line.*/\1/p' | awk -v all="$(wc -c < "$d/audio")" \
        '{printf "; %d bytes, about %.2f seconds, of which the first %.2f", all, all / 22100, ($1 - 1) / 22100}')
    expect "README: the passes' lengths, the bytes and seconds in all" \
        "$(sed -n 's/^| [1-6] | .* | \([0-9]*\) |$/\1/p' "$SOURCE_DIR/README.md" | xargs); $(grep -o \
            '[0-9]* bytes, about [0-9.]* seconds' "$SOURCE_DIR/README.md")" "${figures%, of which*}"
    expect "README: the board's suite is the target suite" "$(grep -c "($suite) for armel" "$SOURCE_DIR/README.md")" 1
    tr -s '\n ' '  ' < "$work/page" > "$work/text"
    expect "the manual page: the same, and the seconds of zero bytes" \
        "$(grep -o 'passes are [0-9, and]* bytes' "$work/text" | grep -o '[0-9]\+' | xargs); $(grep -o \
            '[0-9]* bytes, about [0-9.]* seconds, of which the first [0-9.]*' "$work/text")" "$figures"
}

group_install() {
    cmake --install "$BUILD_DIR" --prefix "$work/prefix" > /dev/null
    expect "install: the program" "$(test -x "$work/prefix/bin/Quorvel" && echo yes)" yes
    expect_same "install: the manual page" \
        "$work/prefix/share/man/man1/Quorvel.1" "$SOURCE_DIR/Quorvel.1"
    DESTDIR="$work/staged" cmake --install "$BUILD_DIR" --prefix /usr > /dev/null
    expect "install with DESTDIR" \
        "$(cd "$work/staged" && find . -type f | sort | tr '\n' ' ')" \
        "./usr/bin/Quorvel ./usr/share/man/man1/Quorvel.1 "

    local prefix="$work/with space"
    make_tree install NATIVE="$BUILD_DIR" PREFIX="$prefix" \
        DESTDIR="$work/staged again" > "$work/install.log" 2>&1
    expect "make install under a prefix with a space: status" "$?" 0
    local installed="$work/staged again$prefix/bin/Quorvel"
    expect "make install: the program runs" \
        "$("$installed" 2>&1 | head -n 1)" "No audio file specified."
    expect "make install: the program is stripped" \
        "$(readelf -S "$installed" | grep -c -e '\.debug_info' -e '\.symtab')" 0
}

# Whatever the names and however a run ends, nothing is left, written or used elsewhere.
group_build() {
    mkdir "$work/keep"
    make_tree armel ARMEL="$work/keep tmp/armel" CROSS_COMPILE=missing- > "$work/log" 2>&1
    expect "make armel without its compiler fails" "$?" 2
    expect "it names the missing compiler" "$(grep -c 'missing-g' "$work/log" | awk '{print ($1 > 0)}')" 1
    expect_missing "no half-configured build folder is left" "$work/keep tmp/armel"
    expect "nor is a folder of another name touched" "$(ls -d "$work/keep")" "$work/keep"
    # What CMake cannot build in is refused in one line naming it; a % works.
    local c
    for c in '"' '$' ';' '\' '#' $'\n'; do
        make_tree native NATIVE="$work/a${c}b" > "$work/log" 2>&1
        expect "a build folder with a ${c/$'\n'/line break} is refused in one line" \
            "$?/$(grep -cF "path with ${c/$'\n'/a line break} in it" "$work/log")/$(wc -l < "$work/log")" 2/1/1
    done

    # Ctrl-C, and SIGTERM or SIGKILL to make alone, end make parts within
    # seconds, apt-get hanging: no lock held, nothing in the cache or elsewhere.
    local signal sid lock
    install -D /dev/stdin "$work/hang/apt-get" <<< $'#!/bin/sh\nexec sleep 300'
    for signal in INT TERM KILL; do
        PATH=$work/hang:$PATH XDG_CACHE_HOME=$work/$signal env --default-signal=INT setsid \
            make -s -C "$SOURCE_DIR" parts > "$work/$signal.log" 2>&1 &
        sid=$!
        within 60 eval '[ "$(pgrep -s $sid -cx sleep)" = 5 ]' || bad "not every part began to fetch"
        [ $signal = INT ] && kill -INT -- -$sid || kill -$signal $sid
        # A zombie has ended: an init that reaps none (a container's) keeps it.
        within 15 eval '! pgrep -r D,R,S,T -s $sid > /dev/null'
        expect "SIG$signal: every process of make parts ends" "$(pgrep -r D,R,S,T -s $sid -l)" ""
        for lock in "$work/$signal/quorvel"/.*.lock; do
            flock -n "$lock" true || bad "SIG$signal: $lock is still held"
        done
        expect "SIG$signal: nothing is put in the cache, nor left elsewhere" \
            "$(cd "$work/$signal/quorvel" && ls -A | grep -vxe '.*\.lock' -e .runs; ls .runs)" ""
        pkill -KILL -s $sid; wait $sid 2> /dev/null
    done

    # The board's disks are counted first: on a small file system, one line at once.
    mkdir "$work/small"
    timeout --foreground 60 unshare --map-root-user --mount sh -c 'mount -t tmpfs -o size=250m t "$1" &&
        exec env QUORVEL_TREE=1 make -s -C "$2" board ARMEL="$1/armel"' sh "$work/small" "$SOURCE_DIR" \
        > "$work/log" 2>&1
    expect "make board on a small file system stops at once, saying so in one line" \
        "$?/$(grep -c "needs 1900 MiB free in $work/small/armel" "$work/log")/$(grep -vc "^make[^:]*: \*\*\*" "$work/log")" 2/1/1

    # The run's folder (0700) holds its tools' TMPDIR; what a run killed
    # outright left, a namespace's files too, goes with the next run.
    local begin='set -e; . "$(dirname "$0")/../tools/folders.sh"; private_place 1 test; ' pids=() run
    local in_ns='unshare --map-auto --map-root-user'
    for run in killed running; do
        HOME=$work XDG_CACHE_HOME= setsid bash -c "$begin$in_ns"' sh -c '\''mkdir "$1/ns" && touch "$1/ns/file" &&
            chown -R 1:1 "$1/ns"'\'' sh "$run"; echo "$run $(stat -c %a "$run") ${TMPDIR#$run}"
            sleep 60 & wait' "$SOURCE_DIR/tests/x" > "$work/$run" &
        pids+=($!)
    done
    within 30 eval '[ -s "$work/killed" ] && [ -s "$work/running" ]'
    read -r run mode tmp < "$work/killed"
    expect "a run's folder is for its owner alone, its tools' TMPDIR in it" "$mode $tmp" "700 /tmp"
    kill -KILL -- -"${pids[0]}"
    wait "${pids[0]}" 2> /dev/null
    HOME=$work XDG_CACHE_HOME= bash -c "$begin" "$SOURCE_DIR/tests/x"
    expect_missing "the next run removes what a killed one left" "$run"
    read -r run _ < "$work/running"
    expect "but not what a running one holds" "$([ -d "$run" ] && echo held)" held
    kill "${pids[1]}"
    wait "${pids[1]}" 2> /dev/null
    expect_missing "which removes its own when it ends" "$run"

    # A relative XDG_CACHE_HOME is ignored; an entry without its file is
    # remade, and one of the same kind with an older key goes.
    begin='. "$(dirname "$0")/../tools/folders.sh"; '
    mkdir -p "$work/.cache/quorvel/"{thing,th-old} && touch "$work/.cache/quorvel/thing/junk"
    (cd "$work" && HOME=$work XDG_CACHE_HOME=rel bash -c "$begin"'
        cache_entry thing file 0 && mkdir "$tree/out" && touch "$tree/out/file" && cache_keep th' \
        "$SOURCE_DIR/tests/x") > /dev/null 2>&1
    expect "a relative XDG_CACHE_HOME is ignored" "$(ls -d "$work/rel" 2> /dev/null)" ""
    expect "an entry without its file is made again" "$(ls "$work/.cache/quorvel/thing")" file
    expect "and the older key's goes" "$(ls "$work/.cache/quorvel")" thing
    expect "the cache and its lock are for their owner alone" \
        "$(stat -c %a "$work/.cache/quorvel" "$work/.cache/quorvel/.thing.lock" | xargs)" "700 600"

    # A cache in a folder another user can change, behind a link, or with
    # an entry another user can change, is refused in one line.
    $in_ns sh -c 'mkdir -m 777 "$1" && chown 1:1 "$1"' sh "$work/theirs"
    ln -s "$work/.cache" "$work/link"
    mkdir -p "$work/planted/quorvel/thing" && touch "$work/planted/quorvel/thing/file"
    $in_ns chown -R 1:1 "$work/planted/quorvel/thing"
    for c in theirs link planted; do
        XDG_CACHE_HOME=$work/$c bash -c "$begin"'cache_entry thing file 0' "$SOURCE_DIR/tests/x" \
            > "$work/said" 2>&1
        expect "a cache in $c is refused in one line" "$?/$(grep -c "$work/$c" "$work/said")" 1/1
    done

    # A second run in this tree (held by this test, or the make check running it).
    exec {held}>> "$SOURCE_DIR/.quorvel.lock" && flock -n "$held" || :
    local w=${work//\$/\$\$}
    env -u QUORVEL_TREE timeout --foreground 60 make -s -C "$SOURCE_DIR" check NATIVE="$w/n" \
        ARMEL="$w/a" PACKAGES_DIR="$w/p" > "$work/said" 2>&1
    local said="$?/$(grep -c 'another make .* is running' "$work/said")/$(wc -l < "$work/said")"
    expect "a second run in one tree stops at once, saying so in one line" "$said" 2/1/1
    expect_missing "and touches nothing" "$work/n"
    expect "the tree's lock is for its owner alone" "$(stat -c %a "$SOURCE_DIR/.quorvel.lock")" 600
}

# The board's recording check, on sox's recordings: byte x as (x - 128) * 256, both channels.
group_recording() {
    local c d pc pd
    c=$(clip clip.raw 28600) d=$(clip other.raw 20)
    pc=$(programme_of "$c") pd=$(programme_of "$d")
    stereo() { sox -t raw -r 22100 -e unsigned -b 8 -c 1 - -t raw -L -e signed -b 16 -c 2 "$work/$1"; }
    # played NAME FRAMES CLIP...: the check's verdict alone, in a subshell.
    played() { (fails=0; expect_played "$@" > "$work/said"; [ "$fails" = 0 ]); }
    { head -c 3000 /dev/zero | tr '\0' '\200'; cat "$pc"
      head -c 1000 /dev/urandom; cat "$pd"; head -c 1000 /dev/urandom; } | stereo good
    played good "$work/good" "$c" "$d"
    expect "two programmes, silence before, a few stale frames between and after, pass" "$?" 0 ||
        cat "$work/said"
    { printf '\001'; cat "$pc"; } | stereo early
    played early "$work/early" "$c"
    expect "a stale frame before the first programme fails" "$?/$(grep -c 'silence only' "$work/said")" 1/1
    { cat "$pc"; head -c 1025 /dev/zero | tr '\0' '\1'; cat "$pd"; } | stereo between
    played between "$work/between" "$c" "$d"
    expect "1025 stale frames between programmes fail" "$?/$(grep -c 'at most 1024' "$work/said")" 1/1
    # Two frames of silence slipped in after the silent passes.
    { head -c 150000 "$pc"; printf '\200\200'
      tail -c +150001 "$pc"; } | stereo inserted
    played inserted "$work/inserted" "$c"
    expect "two frames slipped in fail, the first named" "$?/$(grep -c 'differ: [a-z]* 600002,' "$work/said")" 1/1
}

"group_$1"
finish
