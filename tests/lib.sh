# Helpers of the tests.  From the environment: QUORVEL and QUORVEL_TEST, the
# programs; RUN, their emulator or empty; HOST_BIN, the host helpers;
# FAILCALL_LIB, the failing-call library; WORK_IN, the tests' folders' place.
set -u
export LC_ALL=C
. "${0%/*}/../tools/suite.sh"

passes=0
fails=0
# The test's own folder, taken in turn and emptied of what a killed run left.
if [ -z "${work:-}" ]; then
    work=${0##*/} && work=${WORK_IN:-${TMPDIR:-/tmp}}/${work%.sh}${1:+_$1}.work
    mkdir -p -- "${work%/*}" && (umask 077 && : >> "$work.lock") && exec {own_work}< "$work.lock" &&
        flock "$own_work" && remove "$work" && mkdir -m 700 -- "$work" "$work/tmp" || exit 1
    on_exit 'remove "$work"'
else
    mkdir -p "$work/tmp"
fi
export TMPDIR=$work/tmp

# The emulator by full path: a test may empty PATH for the program alone.
if [ -n "${RUN:-}" ]; then
    read -r -a words <<< "$RUN"
    RUN="$(command -v "${words[0]}") ${words[*]:1}"
fi

ok() { passes=$((passes + 1)); }
bad() { fails=$((fails + 1)); printf 'FAIL: %s\n' "$*"; }

# expect DESCRIPTION ACTUAL EXPECTED
expect() {
    [ "$2" = "$3" ] && ok && return
    bad "$1" && printf '  got:  %q\n  want: %q\n' "$2" "$3" && return 1
}

# expect_same DESCRIPTION FILE WANTED_FILE
expect_same() {
    cmp -s "$2" "$3" && ok && return
    bad "$1" && cmp "$2" "$3" 2>&1 | sed 's/^/  /'
    printf '  sizes: %s, wanted %s\n' "$(wc -c < "$2")" "$(wc -c < "$3")" && return 1
}

# expect_missing DESCRIPTION FILE
expect_missing() { if [ ! -e "$2" ]; then ok; else bad "$1"; fi; }

# nap SECONDS: a sleep that starts no process, on a pipe that never ends.
exec {napping}<> <(:)
nap() { read -rt "$1" -u "$napping" || :; }

# within SECONDS COMMAND...: waits for COMMAND to succeed; wait_for FILE: 30 s for FILE.
within() {
    local end=$((SECONDS + $1))
    until "${@:2}"; do [ $SECONDS -lt $end ] || return 1; nap 0.01; done
}
wait_for() { within 30 test -e "$1"; }

# mine PGREP_ARGS...: pgrep among this user's processes alone.
mine() { pgrep -u "$EUID" "$@"; }

# clip NAME SIZE: a clip of SIZE random bytes; case_dir NAME: a folder for one run's records.
clip() { head -c "$2" /dev/urandom > "$work/$1" && printf '%s' "$work/$1"; }
case_dir() { mkdir -p "$work/$1" && printf '%s' "$work/$1"; }

# launch [-0] [-1] [-2] [-p] [-n] [-a FILE] [-A NAME] DIR PROGRAM ARGS...:
# runs PROGRAM, the stand-in player recording into DIR, its output, error
# and status into DIR/out, err, status; -0, -1, -2: that descriptor closed;
# -p: SIGPIPE ignored; -n: no player; -a: output to FILE; -A: argv[0].
launch() {
    local path="$HOST_BIN:$PATH" out= name= named= pipe= closed=
    while :; do
        case $1 in
            -[012]) closed+=${1#-} ;;
            -p) pipe=1 ;;
            -n) path=$work/empty && mkdir -p "$path" ;;
            -a) out=$2 && shift ;;
            -A) name=$2 && named=1 && shift ;;
            *) break ;;
        esac
        shift
    done
    local dir=$1
    shift
    (
        exec > "$dir/out" 2> "$dir/err"
        [ -z "$out" ] || exec >> "$out"
        [[ $closed != *0* ]] || exec <&-
        [[ $closed != *1* ]] || exec >&-
        [[ $closed != *2* ]] || exec 2>&-
        [ -z "$pipe" ] || trap '' PIPE
        export PATH="$path" STANDIN_DIR="$dir"
        if [ -z "$named" ]; then exec $RUN "$@"
        elif [ -n "$RUN" ]; then exec $RUN -0 "$name" "$@"
        else exec -a "$name" "$@"; fi
    )
    echo $? > "$dir/status"
}

# traced FILE DIR PROGRAM ARGS...: launch, each process's writes traced whole
# into FILE by a strace given no path that launch would split.
traced() {
    mkdir -p "$work/bin" && printf '#!/bin/sh\nexec strace -ff -qq -e trace=write -o "$TRACE" "$@"\n' \
        > "$work/bin/strace-writes" && chmod +x "$work/bin/strace-writes"
    TRACE=$1 PATH=$work/bin:$PATH RUN=strace-writes launch "${@:2}"
    cat "$1".* > "$1"
}

# preload COMMAND...: the failing-call library preloaded into the target's
# program, by a descriptor: a path may hold a space, or for qemu a comma.
preload() { local -x "${RUN:+QEMU_SET_ENV=}LD_PRELOAD=/proc/self/fd/9"; "$@" 9< "$FAILCALL_LIB"; }

announced='Launching audio player...'
player_args=$'aplay\n-r\n22100'
# How the real aplay describes the stream it plays.
player_format='Unsigned 8 bit, Rate 22100 Hz, Mono'
# The files the Debian package installs.
shipped_files="/usr/bin/Quorvel /usr/share/doc/quorvel/changelog.gz \
/usr/share/doc/quorvel/copyright /usr/share/man/man1/Quorvel.1.gz"

# programme_of CLIP: the file of CLIP's expected programme, worked out once
# in a test (whose clips have names of their own).
programme_of() {
    local made=$work/${1##*/}.programme
    [ -e "$made" ] || "$HOST_BIN/programme" "$1" > "$made"
    printf '%s' "$made"
}

# expect_programme NAME DIR CLIP: the run in DIR played CLIP's programme, and ended well.
expect_programme() {
    local name=$1 dir=$2 clip=$3
    expect_same "$name: the player gets the whole programme" "$dir/audio" "$(programme_of "$clip")"
    expect "$name: player arguments" "$(< "$dir/args")" "$player_args"
    expect "$name: the producer ends well" "$(< "$dir/children")" "exit 0"
    expect "$name: no stray descriptor on the pipe" "$(< "$dir/pipefds")" 0
    expect "$name: exit status" "$(< "$dir/status")" 0 || sed 's/^/  said: /' "$dir/err"
}

# expect_recorded NAME RECORDING CLIP: a real player recorded exactly CLIP's
# programme into RECORDING (raw), then only the silence (128) it pads with.
expect_recorded() {
    local wanted length
    wanted=$(programme_of "$3") && length=$(wc -c < "$wanted")
    head -c "$length" "$2" > "$work/recorded"
    expect_same "$1: the programme is recorded" "$work/recorded" "$wanted"
    expect "$1: only silence follows" \
        "$(tail -c +$((length + 1)) "$2" | tr -d '\200' | wc -c)" 0
}

# expect_played NAME FRAMES CLIP...: a card played each CLIP's programme in
# order, exactly, into FRAMES (S16_LE stereo): byte x as (x - 128) * 256 in
# both channels.  Around them silence (frames of 0); between and after, at most
# a period (1024 frames) of stale ones, which the driver's ring hands on.
expect_played() {
    local name=$1 frames=$2 at=0 n=0 clip start want length
    # stale FROM TO: the frames of FRAMES between those offsets that are not silence.
    stale() { tail -c +$(($1 + 1)) "$frames" | head -c $(($2 - $1)) | od -An -v -tx4 -w4 | grep -cvx ' 0*'; }
    for clip in "${@:3}"; do
        n=$((n + 1)) want=$work/played$n
        sox -t raw -r 22100 -e unsigned -b 8 -c 1 "$(programme_of "$clip")" -t raw -L -e signed -b 16 -c 2 "$want"
        length=$(wc -c < "$want")
        # A programme opens with five passes of byte 0: 1000 frames of it mark its start.
        start=$(tail -c +$((at + 1)) "$frames" | grep -obUaPm1 '(\x00\x80){2000}' | head -n 1 | cut -d: -f1)
        [ -n "$start" ] || { bad "$name: programme $n (${clip##*/}) not found"; return 1; }
        start=$((at + start))
        expect "$name: programme $n starts on a frame, after $([ $n = 1 ] && echo silence only ||
            echo "at most 1024 stale frames")" \
            "$((start % 4)) $(( $(stale $at $start) <= (n == 1 ? 0 : 1024) ))" "0 1" || return 1
        cmp -n "$length" "$frames" "$want" "$start" 0 > "$work/differs" 2>&1
        expect "$name: programme $n (${clip##*/}) played exactly, from frame $((start / 4))" "$?" 0 ||
            { sed 's/^/  /' "$work/differs"; return 1; }
        at=$((start + length))
    done
    expect "$name: at most 1024 stale frames after the last" "$(( $(stale $at $(wc -c < "$frames")) <= 1024 ))" 1
}

# expect_usage PROGRAM: with no argument, the usage naming it, status 1, nothing started.
expect_usage() {
    local d
    d=$(case_dir "usage${1//\//_}")
    launch "$d" "$1"
    expect "no argument: status" "$(< "$d/status")" 1
    expect "no argument: usage" "$(< "$d/err")" \
        "$(printf 'No audio file specified.\nUse: %s <audioFile>' "$1")"
    expect "no argument: nothing on standard output" "$(< "$d/out")" ""
    # A forked child would have had time to start the player by now.
    nap 0.2
    expect_missing "no argument: no player" "$d/args"
}

# expect_libraries PROGRAM: only the C library (on ARM the loader too) is
# needed, through the expected interpreter, built for the expected CPU.
expect_libraries() {
    expect "$1: shared libraries" \
        "$("$READELF" -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | xargs)" \
        "$(printf '%s\n' $NEEDED | sort | xargs)"
    expect "$1: program interpreter" \
        "$("$READELF" -l "$1" | sed -n 's/.*interpreter: \(.*\)\]/\1/p')" "$INTERPRETER"
    [ -z "${CPU:-}" ] || expect "$1: built for $CPU" "$("$READELF" -A "$1" | sed -n 's/^ *Tag_CPU_arch: //p')" "$CPU"
}

# expect_hardened PROGRAM: hardening-check finds every protection but CFI
# (Debian asks none), branch protection (AArch64's), on ARM stack clash
# protection (Thumb-1 has none), and fortification under noopt.
expect_hardened() {
    local report
    report=$(hardening-check "$1" 2> /dev/null)
    [ -n "$report" ] || bad "$1: hardening-check gave no report (package devscripts)"
    local allowed='Control flow integrity|Branch Protection'
    [ -n "${ARM:-}" ] && allowed="$allowed|Stack clash protection"
    [ -n "${FORTIFIED:-}" ] || allowed="$allowed|Fortify Source functions"
    expect "$1: no protection missing" \
        "$(grep ': no' <<< "$report" | grep -vE "^ ($allowed):")" ""
}

# installed_tests: the as-installed tests debian/tests/control names.
installed_tests() { sed -n 's/^Tests: //p' "$SOURCE_DIR/debian/tests/control" | xargs; }

skip() { echo "skipped: $*"; exit 77; }

finish() {
    echo "$passes passed, $fails failed"
    [ "$fails" -eq 0 ]
}
