# The cache, free space, the run's private folder, and how a run ends.

# The cache (a relative XDG_CACHE_HOME is invalid, so ignored).
cache=$HOME/.cache/quorvel
[[ ${XDG_CACHE_HOME:-} != /* ]] || cache=$XDG_CACHE_HOME/quorvel
# mkfs.ext4 is in /usr/sbin, not on an ordinary user's PATH (added once: sourced twice).
[[ :$PATH: == *:/usr/sbin:* ]] || PATH=$PATH:/usr/sbin:/sbin

# on_exit COMMANDS: however the script ends, what it started at any depth is
# told to end and waited for, then COMMANDS and earlier ones run, deaf to signals.
descendants() {
    local child
    for child in $(pgrep -P "$1"); do [ "$child" = "$BASHPID" ] || { echo "$child"; descendants "$child"; }; done
}
on_exit() {
    at_exit="$1; ${at_exit:-}"
    trap 'trap "" INT TERM PIPE; kill -TERM $(descendants $$) 2> /dev/null || :; wait; '"$at_exit" EXIT
}

# remove PATH: removes it, as a namespace's root where it must, or names it.
remove() {
    [ -e "$1" ] || [ -L "$1" ] || return 0
    rm -rf -- "$1" 2> /dev/null || unshare --map-auto --map-root-user rm -rf -- "$1" 2> /dev/null ||
        { echo "cannot remove $1: remove it by hand (as root if need be)" >&2; return 1; }
}

# room FOLDER MIB WHAT: ends the script with one line where FOLDER (or
# memory) has less than MIB MiB free for WHAT.
room() {
    local at=$1 free
    until [ -e "$at" ]; do at=$(dirname -- "$at"); done
    free=$(df -Pm -- "$at" 2> /dev/null | awk 'NR == 2 { print $4 }')
    [ "$1" != memory ] || free=$(awk '/^MemAvailable:/ { print int($2 / 1024) }' /proc/meminfo)
    [ "${free:-0}" -ge "$2" ] ||
        { echo "$3 needs $2 MiB free in $1, which has ${free:-0} MiB" >&2; exit 1; }
}

# own FOLDER...: ends the script with one line unless each FOLDER is a folder
# only this user (or its private group) can change, or root's sticky /tmp.
own() {
    local folder private=()
    [ "$(id -gn)" != "$(id -un)" ] || private=(-o -group "$(id -g)" ! -perm /002)
    for folder; do
        [ -n "$(find "$folder" -maxdepth 0 -type d \( -user 0 -perm -1000 -o -user "$(id -u)" \
            \( ! -perm /022 "${private[@]}" \) \) -print 2> /dev/null)" ] ||
            { echo "$folder is not a folder that only $(id -un) can change: not used" >&2; exit 1; }
    done
}

# private_cache: the cache made 0700, in a folder only this user can change.
private_cache() {
    mkdir -p -- "${cache%/*}" && own "${cache%/*}" && { [ -L "$cache" ] || mkdir -p -m 700 -- "$cache"; } &&
        own "$cache" && chmod 700 -- "$cache" || exit 1
}

# private_place MIB WHAT: run, a new folder of the run's own (0700) and the
# TMPDIR of all it starts, in /dev/shm where it has MIB MiB free, else /tmp.
# It goes with the script; the next run removes what one killed outright left.
private_place() {
    space=/tmp
    [ -w /dev/shm ] && (room /dev/shm "$1" .) 2> /dev/null && space=/dev/shm
    room "$space" "$1" "$2"
    private_cache
    local runs=$cache/.runs record left
    mkdir -p "$runs"
    exec {sweeping}> "$runs/.lock" && flock "$sweeping" || exit 1
    for record in "$runs"/*; do
        [ -f "$record" ] || continue
        { flock -n 9 || continue; } 9< "$record"
        left=$(cat "$record")
        { [ -z "$left" ] || [ ! -O "$left" ] || [ -L "$left" ] || remove "$left"; } && rm -f "$record"
    done
    run_record=$(mktemp "$runs/XXXXXXXX") && exec {held}< "$run_record" && flock "$held" || exit 1
    run=$space/quorvel-${run_record##*/}
    echo "$run" > "$run_record"
    mkdir -m 700 "$run" || { : > "$run_record"; echo "cannot make the run's folder $run" >&2; exit 1; }
    exec {sweeping}>&-
    on_exit 'remove "$run" && rm -f "$run_record"'
    mkdir "$run/tmp"
    export TMPDIR=$run/tmp
}

# enterable: run's group becomes the root's of this user's namespaces
# (mmdebstrap's, sbuild's), to pass through to what it owns there.
enterable() {
    unshare --map-auto --map-root-user chgrp 1 "$run" && chmod 710 "$run" ||
        { echo "cannot open $run to this user's namespaces (subordinate ids: make deps)" >&2; exit 1; }
}

# cache_entry NAME FILE MIB: where entry NAME holds FILE, prints its path and
# ends the script (refused if another could change it); else, given MIB MiB,
# sets entry and tree, an empty folder removed unless cache_keep comes.
cache_entry() {
    private_cache
    entry=$cache/$1 tree=$cache/.$1.new
    umask 077
    exec {busy}>> "$cache/.$1.lock" && chmod 600 "$cache/.$1.lock" || exit 1
    flock -n "$busy" || { echo "waiting for another run to finish $entry" >&2; flock "$busy"; }
    if [ -e "$entry/$2" ]; then
        [ -z "$(find "$entry" \( ! -user "$(id -u)" -o ! -type l -perm /022 \) -print -quit)" ] ||
            { echo "$entry holds what another could change: remove it, then run again" >&2; exit 1; }
        echo "$entry"
        exit 0
    fi
    room "$cache" "$3" "making $entry"
    remove "$tree" && mkdir "$tree" || exit 1
    on_exit 'remove "$tree"'
}

# cache_keep [KIND]: tree/out becomes the entry in one rename, and entries
# KIND... whose key moved on go; prints its path.
cache_keep() {
    local old
    remove "$entry"
    mv -T "$tree/out" "$entry"
    [ -z "${1:-}" ] || for old in "$cache/$1"*; do [ "$old" = "$entry" ] || remove "$old"; done
    echo "made $entry in $SECONDS s" >&2
    echo "$entry"
}

# Run as a command, a function of these: folders.sh room FOLDER MIB WHAT.
[ "${BASH_SOURCE[0]}" != "$0" ] || "$@"
