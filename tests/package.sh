# Tests of this tree's Debian package, in the run's own folder (lintian,
# reprotest and autopkgtest paste paths into commands).  Usage: package.sh GROUP
. "${0%/*}/../tools/folders.sh"
private_place 700 "the package tests, autopkgtest's unpacked testbed among them,"
work=$run
. "${0%/*}/lib.sh"

deb=$PACKAGES/quorvel_${VERSION}_$DEB_ARCH.deb

# answer KIND INPUT...: answer, the cache's mark that a group passed on INPUTs
# (texts, hashed with its code), made by keep; kept: whether it is there.
answer() {
    private_cache
    answer=$cache/$suite-$1-$(printf '%s\n' "$(declare -f "group_${1%-*}")" "${@:2}" | sha256sum | cut -c1-16)
}
kept() { [ -e "$answer" ] && echo "passed before on the same inputs: $answer"; }
keep() { [ "$fails" -ne 0 ] || { rm -f "${answer%-*}"-* && touch "$answer"; }; }

group_build() {
    rm -rf "${PACKAGES:?}" && mkdir -p "$PACKAGES/build" && touch "$PACKAGES/build/mine"
    bash "$SOURCE_DIR/tools/package.sh" "$PACKAGES" "$DEB_ARCH" > "$work/log" 2>&1 &
    local build=$! open=
    while kill -0 $build 2> /dev/null; do
        open+=$(find /tmp /dev/shm -maxdepth 1 -user "$EUID" -name 'quorvel*' -perm /007)
        sleep 0.5
    done
    wait $build
    expect "dpkg-buildpackage builds the $DEB_ARCH package" "$?" 0 || cat "$work/log"
    expect "and no folder of the build in /tmp or /dev/shm lets other users in" "$open" ""
    expect "and leaves what else is in its folder" "$(ls "$PACKAGES/build")" mine
    # A build in the target suite's chroot is judged by that suite's blhc.
    local blhc=(blhc) chroot
    if [ "$DEB_ARCH" != "$(dpkg --print-architecture)" ]; then
        chroot=$(bash "$SOURCE_DIR/tools/chroot.sh") &&
            tar -xOf "$chroot/chroot.tar" ./usr/bin/blhc > "$work/blhc" && blhc=(perl "$work/blhc")
    fi
    expect "blhc: every compiler and linker line has the distribution's flags" \
        "$("${blhc[@]}" --all "$PACKAGES/build-$DEB_ARCH.log")" ""
    expect "the package and its debug symbols" \
        "$(cd "$PACKAGES" && ls *.deb | xargs)" \
        "quorvel-dbgsym_${VERSION}_$DEB_ARCH.deb quorvel_${VERSION}_$DEB_ARCH.deb"
}

group_shipped() {
    local info
    info=$(dpkg-deb --info "$deb")
    expect "architecture" "$(sed -n 's/^ Architecture: //p' <<< "$info")" "$DEB_ARCH"
    expect "depends on alsa-utils and a computed libc6" \
        "$(sed -n 's/^ Depends: //p' <<< "$info" | sed 's/libc6 (>= 2\.[0-9]*)/libc6 (>= 2.N)/')" \
        "alsa-utils, libc6 (>= 2.N)"
    expect "an extended description of a few lines" \
        "$(sed -n '/^ Description: /,$p' <<< "$info" | grep -c '^  ' | awk '{print ($1 >= 3)}')" 1
    expect "contents" \
        "$(dpkg-deb --contents "$deb" | awk '$6 !~ /\/$/ {print substr($6, 2)}' | sort | xargs)" \
        "$shipped_files"
    dpkg-deb -x "$deb" "$work/root"
    local program=$work/root/usr/bin/Quorvel
    expect "installed stripped" "$("$READELF" -S "$program" | grep -c -e '\.debug_' -e '\.symtab')" 0
    expect_libraries "$program"
    expect_hardened "$program"
    expect_same "the manual page" "$SOURCE_DIR/Quorvel.1" \
        <(gzip -dc "$work/root/usr/share/man/man1/Quorvel.1.gz")

    lintian --pedantic -I -E --info "$deb" "$PACKAGES/quorvel_${VERSION}_$DEB_ARCH.changes" \
        "$PACKAGES/quorvel_$VERSION.dsc" > "$work/lintian" 2>&1
    # A lintian older than the policy we follow calls it newer.
    expect "lintian on the source and binaries: no error, warning or pedantic tag" \
        "$(grep -E '^[EWP]: ' "$work/lintian" | grep -v ' newer-standards-version ')" ""
    sed -n 's/^[IX]: /lintian said: &/p' "$work/lintian"
}

# debian/tests, run by autopkgtest as Debian runs them, in a testbed of the
# target suite.  Kept once passed, for the same package, tests and testbed.
group_installed() {
    local testbed
    testbed=$(bash "$SOURCE_DIR/tools/testbed.sh") || { bad "no testbed"; return; }
    answer "installed-$DEB_ARCH" "$(cd "$PACKAGES" && sha256sum "${deb##*/}" "quorvel_$VERSION.dsc")" \
        "$(stat -c '%n %s %Y' "$testbed/testbed.tar")" "$(dpkg-query -W autopkgtest)"
    kept && return
    # The cache's path may have a space or a quote too.
    ln -s "$testbed/testbed.tar" "$work/testbed.tar"
    autopkgtest "$deb" "$PACKAGES/quorvel_$VERSION.dsc" -- unshare --release "$suite" \
        --arch "$DEB_ARCH" --tarball "$work/testbed.tar" > "$work/log" 2>&1
    expect "autopkgtest passes" "$?" 0 || tail -n 30 "$work/log"
    expect "every test of debian/tests passes" \
        "$(awk '$2 == "PASS" { print $1 }' "$work/log" | sort -u | xargs)" \
        "$(installed_tests | xargs -n1 | sort | xargs)"
    keep
}

# The Build-Depends, with the tests (so also without), install on every release architecture.
group_builddeps() {
    local lists arch file fields='Package|Version|Architecture|Multi-Arch|Essential|Provides'
    fields+='|Depends|Pre-Depends|Conflicts|Breaks'
    lists=$(bash "$SOURCE_DIR/tools/lists.sh")/apt/lists || { bad "no package lists"; return; }
    sed 's/^Source:/Package:/' "$PACKAGES/quorvel_$VERSION.dsc" > "$work/Sources"
    expect "every profile restriction of the Build-Depends is <!nocheck>" \
        "$(sed -n 's/^Build-Depends[^:]*://p' "$work/Sources" | grep -o '<[^>]*>' | sort -u)" \
        "<!nocheck>"
    # dose takes seconds over 60 000 packages: two at a time, given only the fields it reads.
    check() {
        for file in "$lists"/*_binary-"$1"_Packages*; do
            /usr/lib/apt/apt-helper cat-file "$file" && echo
        done | grep -E "^(($fields):|$)" > "$work/Packages-$1"
        dose-builddebcheck --deb-native-arch="$1" --failures --explain \
            "$work/Packages-$1" "$work/Sources" > "$work/dose-$1" 2>&1
        echo $? > "$work/status-$1"
    }
    # Keyed on what dose reads of the source, the lists (their InRelease
    # files name each Packages file's hash) and dose itself.
    answer builddeps "$(declare -f check; cat "$lists"/*InRelease
        awk '/^[^ ]/ { keep = /^(Package|Architecture|Build-[A-Za-z-]+):/ } keep' "$work/Sources")" \
        "$(dpkg-query -W dose-builddebcheck)" "$release_archs $fields"
    if kept; then
        for arch in $release_archs; do echo 0 > "$work/status-$arch"; done
    else
        export -f check
        export lists fields work
        printf '%s\n' $release_archs | xargs -P 2 -I{} bash -c 'check {}'
        [ "$(cat "$work"/status-* | sort -u)" != 0 ] || keep
    fi
    for arch in $release_archs; do
        expect "Build-Depends install on $arch" "$(< "$work/status-$arch")" 0 ||
            grep unsat "$work/dose-$arch"
    done
}

# reprotest builds it again, with nocheck and all it can vary without root;
# sbuild's armel build, which no variation reaches, is made afresh.  Kept
# once passed, for the same build's key.
group_reproducible() {
    # Time always moves, a year ahead: left to itself reprotest moves it one time in two.
    local name vary=-user_group,time.faketimes+=+400days+7hours
    if [ "$DEB_ARCH" = "$(dpkg --print-architecture)" ] && ! { [ -r /dev/fuse ] && [ -w /dev/fuse ]; }; then
        vary+=,-fileordering
        echo "not varied: the order of folder entries (FUSE is not open to $(id -un))"
    fi
    answer "reproducible-$DEB_ARCH" "$(< "$PACKAGES/build-$DEB_ARCH.key")" "$vary" "$(dpkg-query -W reprotest)"
    kept && return
    if [ "$DEB_ARCH" = "$(dpkg --print-architecture)" ]; then
        # The first build as reprotest keeps a control build's files.
        mkdir -p "$work/source" "$work/first/source-root"
        cp "$PACKAGES"/quorvel*_"$VERSION"_"$DEB_ARCH".deb "$work/first/source-root/"
        cp "$PACKAGES/quorvel_$VERSION".{dsc,tar.xz} "$work/source/"
        (cd "$work" && DEB_BUILD_OPTIONS=nocheck reprotest --vary="$vary" \
            --no-diffoscope --control-build="$work/first" --append-build-command=-Pnocheck \
            --store-dir="$work/again" "$work/source/quorvel_$VERSION.dsc" -- null) \
            > "$work/log" 2>&1
        expect "reprotest: built again, varied and nocheck, the same bytes" "$?" 0 ||
            tail -n 40 "$work/log"
    else
        QUORVEL_FRESH=1 bash "$SOURCE_DIR/tools/package.sh" "$work/again" "$DEB_ARCH" > "$work/log" 2>&1
        expect "the second build" "$?" 0 || cat "$work/log"
        for name in quorvel quorvel-dbgsym; do
            name=${name}_${VERSION}_$DEB_ARCH.deb
            expect_same "$name: the same bytes twice" "$work/again/$name" "$PACKAGES/$name"
        done
    fi
    keep
}

"group_$1"
finish
