# End-to-end tests of QuorvelTest, the wiring skeleton.
. "${0%/*}/lib.sh"

c=$(clip clip.raw 100)

expect_usage "$QUORVEL_TEST"

# The parent ends at once; the stand-in, held until released, shows that
# it did not wait for the child.
for path in "$c" "$work/missing.raw"; do
    d=$(case_dir "held${path##*/}")
    STANDIN_HOLD="$d/release" launch "$d" "$QUORVEL_TEST" "$path" < /dev/null
    expect "$path: parent's status" "$(< "$d/status")" 0
    expect_missing "$path: the parent did not wait" "$d/done"
    touch "$d/release"
    wait_for "$d/done"
    expect "$path: player arguments" "$(< "$d/args")" "aplay"
done

# The child announces into a pipe whose reader has surely gone.
d=$(case_dir lagging)
FAILCALL=lagfork preload launch "$d" "$QUORVEL_TEST" "$c" < /dev/null
wait_for "$d/done"
expect "child outlives the parent: player started" "$(cat "$d/args" 2>&1)" "aplay"

# Whichever process runs first, the player starts every time: 200 runs,
# ten at a time, so that each also races its neighbours for the CPUs.
mkdir "$work"/run{1..200}
for run in {1..200}; do
    STANDIN_DIR=$work/run$run PATH=$HOST_BIN:$PATH $RUN "$QUORVEL_TEST" "$c" < /dev/null > /dev/null 2>&1 &
    ((run % 10)) || wait
done
wait
all_done() { local done=("$work"/run*/done); [ ${#done[@]} = 200 ]; }
within 60 all_done
expect "200 runs, 200 players started" "$(cat "$work"/run*/args 2>&1 | grep -cx aplay)" 200

finish
