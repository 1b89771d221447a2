# Tests of what the programs cost and how they are built: size, shared
# libraries, hardening and heap.  Usage: footprint.sh GROUP, with,
# besides lib.sh's variables, STRIP, READELF, ARM (set on the target),
# SIZE_LIMIT, INTERPRETER and NEEDED (the expected program interpreter
# and shared libraries).
. "$(dirname "$0")/lib.sh"

group_size() {
    cp "$QUORVEL" "$work/stripped"
    "$STRIP" "$work/stripped"
    local size
    size=$(wc -c < "$work/stripped")
    expect "stripped program fits in $SIZE_LIMIT bytes (it has $size)" \
        "$((size <= SIZE_LIMIT))" 1
    expect_libraries "$QUORVEL"
}

group_hardening() {
    expect_hardened "$QUORVEL"
    expect_hardened "$QUORVEL_TEST"
}

# The forked producer, run under valgrind on a full clip, allocates
# nothing; the parent leaves valgrind when it becomes the player.
group_heap() {
    local d c
    d=$(case_dir heap)
    c=$(clip clip.raw 28600)
    launch "$d" valgrind --log-file="$d/valgrind.%p" "$QUORVEL" "$c"
    expect_programme "under valgrind" "$d" "$c"
    expect "the producer reports once" "$(cat "$d"/valgrind.* | grep -c 'total heap usage')" 1
    expect "the producer allocates nothing" \
        "$(sed -n 's/.*total heap usage: \([0-9,]*\) allocs.*/\1/p' "$d"/valgrind.*)" 0
}

"group_$1"
finish
