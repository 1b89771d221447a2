# Size, shared libraries, hardening and heap.  Usage: footprint.sh GROUP, the
# expectations in STRIP, READELF, ARM, CPU, FORTIFIED, SIZE_LIMIT, INTERPRETER, NEEDED.
. "${0%/*}/lib.sh"

# Segments aligned to more than a 4 KiB page (64 KiB on arm64) pad the
# file, not the program: that padding is allowed for.
group_size() {
    cp "$QUORVEL" "$work/stripped"
    "$STRIP" "$work/stripped"
    local size align limit
    size=$(wc -c < "$work/stripped")
    align=$("$READELF" -lW "$work/stripped" | awk '$1 == "LOAD" { a = $NF } END { print a }')
    limit=$((SIZE_LIMIT + (align > 4096 ? align - 4096 : 0)))
    expect "stripped program fits in $limit bytes (it has $size)" "$((size <= limit))" 1
}

group_hardening() {
    expect_libraries "$QUORVEL"
    expect_hardened "$QUORVEL"
    expect_hardened "$QUORVEL_TEST"
}

# The forked producer, run under valgrind on a full clip, allocates
# nothing; the parent leaves valgrind when it becomes the player.
group_heap() {
    command -v valgrind > /dev/null || skip "no valgrind on this machine (Debian has none for armel)"
    local d c
    d=$(case_dir heap)
    c=$(clip clip.raw 28600)
    # valgrind reads a % in its log's name as a format.
    launch "$d" valgrind --vgdb=no --log-file="${d//%/%%}/valgrind.%p" "$QUORVEL" "$c"
    expect_programme "under valgrind" "$d" "$c"
    expect "the producer reports once" "$(cat "$d"/valgrind.* | grep -c 'total heap usage')" 1
    expect "the producer allocates nothing" \
        "$(sed -n 's/.*total heap usage: \([0-9,]*\) allocs.*/\1/p' "$d"/valgrind.*)" 0
}

"group_$1"
finish
