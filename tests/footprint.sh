# Tests of what the program costs and how it ships: its size, its shared
# libraries, its heap, and its Debian package.  Usage: footprint.sh GROUP,
# with, besides lib.sh's variables, BUILD_DIR, STRIP, READELF, SIZE_LIMIT,
# INTERPRETER (expected program interpreter) and DEB_ARCH.
. "$(dirname "$0")/lib.sh"

group_size() {
    cp "$QUORVEL" "$work/stripped"
    "$STRIP" "$work/stripped"
    local size
    size=$(wc -c < "$work/stripped")
    expect "stripped program fits in $SIZE_LIMIT bytes (it has $size)" \
        "$((size <= SIZE_LIMIT))" 1
    expect "the C library is the only shared library" \
        "$("$READELF" -d "$QUORVEL" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')" libc.so.6
    expect "program interpreter" \
        "$("$READELF" -l "$QUORVEL" | sed -n 's/.*interpreter: \(.*\)\]/\1/p')" "$INTERPRETER"
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

group_package() {
    cpack -G DEB --config "$BUILD_DIR/CPackConfig.cmake" -B "$work/out" > "$work/cpack.log" 2>&1
    expect "cpack builds the package" "$?" 0
    local deb
    deb=$(ls "$work"/out/quorvel_*_"$DEB_ARCH".deb 2> /dev/null)
    expect "one package named for $DEB_ARCH" "$(echo "$deb" | grep -c .)" 1
    local info
    info=$(dpkg-deb --info "$deb")
    expect "architecture" "$(sed -n 's/^ Architecture: //p' <<< "$info")" "$DEB_ARCH"
    expect "depends on the C library and alsa-utils" \
        "$(sed -n 's/^ Depends: //p' <<< "$info")" "libc6 (>= 2.34), alsa-utils"
    expect "a one-line description" "$(grep -c '^ Description: .*aplay' <<< "$info")" 1
    expect "contents" "$(dpkg-deb --contents "$deb" | awk '$6 !~ /\/$/ {print $6}' | sort | tr '\n' ' ')" \
        "./usr/bin/Quorvel ./usr/share/man/man1/Quorvel.1 "
    dpkg-deb -x "$deb" "$work/root"
    expect "installed stripped" "$("$READELF" -S "$work/root/usr/bin/Quorvel" | grep -c '\.debug_')" 0
    local d c
    d=$(case_dir packaged)
    c=$(clip clip.raw 28600)
    launch "$d" "$work/root/usr/bin/Quorvel" "$c"
    expect_programme "the packaged program" "$d" "$c"
}

"group_$1"
finish
