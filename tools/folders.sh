# The cache, free space, private folders, and how a run ends.

# The cache (a relative XDG_CACHE_HOME is invalid, so ignored).
cache=$HOME/.cache/quorvel
[[ ${XDG_CACHE_HOME:-} != /* ]] || cache=$XDG_CACHE_HOME/quorvel
# mkfs.ext4, which writes the board's disks, is in /usr/sbin, not on an
# ordinary user's PATH (added once: the package tests source this twice).
[[ :$PATH: == *:/usr/sbin:* ]] || PATH=$PATH:/usr/sbin:/sbin

# on_exit COMMANDS: however the script ends, what it started, at any depth
# (mmdebstrap's apt-get), is told to end and waited for, then COMMANDS run,
# deaf to Ctrl-C, SIGTERM and a reader gone.
descendants() { local child; for child in $(pgrep -P "$1"); do echo "$child"; descendants "$child"; done; }
on_exit() {
    trap 'trap "" INT TERM PIPE; kill -TERM $(descendants $$) 2> /dev/null || :; wait; '"$1" EXIT
}

# trusted FOLDER: ends the script with one line unless FOLDER is a real
# folder that only this user can change (its own private group may too,
# as a umask of 002 gives), or root's sticky /tmp.
trusted() {
    local who group mode
    read -r who group mode < <(stat -c '%u %g %a' -- "$1" 2> /dev/null)
    [ -d "$1" ] && [ ! -L "$1" ] && { { [ "$who" = 0 ] && ((8#$mode & 8#1000)); } ||
        { [ "$who" = "$(id -u)" ] && ((!(8#$mode & 2))) && { ((!(8#$mode & 8#20))) ||
            { [ "$group" = "$(id -g)" ] && [ "$(id -gn)" = "$(id -un)" ]; }; }; }; } ||
        { echo "$1 is not a folder that only $(id -un) can change: not used" >&2; exit 1; }
}

# remove FOLDER: removes it, with what a namespace gave other owners.
remove() { rm -rf "$1" 2> /dev/null || unshare --map-auto --map-root-user rm -rf "$1"; }

# room FOLDER MIB WHAT: ends the script with one line where FOLDER (or
# memory) has less than MIB MiB free for WHAT.
room() {
    local free=$(df -Pm "$1" 2> /dev/null | awk 'NR == 2 { print $4 }')
    [ "$1" != memory ] || free=$(awk '/^MemAvailable:/ { print int($2 / 1024) }' /proc/meminfo)
    [ "${free:-0}" -ge "$2" ] ||
        { echo "$3 needs $2 MiB free in $1, which has ${free:-0} MiB" >&2; exit 1; }
}

# fast_space MIB WHAT: sets space to /dev/shm where it is open and has
# MIB MiB free, since a disk takes seconds more each time to write what
# is unpacked there, else to /tmp; ends the script with one line where
# /tmp lacks the room too.
fast_space() {
    space=/tmp
    [ -w /dev/shm ] && (room /dev/shm "$1" .) 2> /dev/null && space=/dev/shm
    room "$space" "$1" "$2"
}

# scratch TEMPLATE: sets made to a new private folder (mktemp -d TEMPLATE),
# held (flock on its .held) while this script or what it started lives.
# Those killed runs left go first: real folders of this user's held by
# nobody, or with files but no mark (a removal was killed).  A new folder
# is marked .holding, then .held once locked, and looked at in that order.
scratch() {
    local old prefix=${1%.*}
    trusted "${prefix%/*}"
    while IFS= read -r -d '' old; do
        if [ -n "$(ls -A "$old" 2> /dev/null)" ] && [ ! -e "$old/.holding" ] &&
            [ ! -e "$old/.held" ]; then
            remove "$old"
        else
            { flock -n 9 && remove "$old"; } 2> /dev/null 9< "$old/.held" || :
        fi
    done < <(find "${prefix%/*}" -mindepth 1 -maxdepth 1 -name "${prefix##*/}.*" -type d \
        -user "$(id -u)" -print0 2> /dev/null)
    made=$(mktemp -d "$1") || exit 1
    exec {held}> "$made/.holding" && chmod 600 "$made/.holding" && flock "$held" &&
        mv "$made/.holding" "$made/.held"
}

# cache_entry NAME FILE MIB: the cache's entry NAME, complete once it
# holds FILE.  When it is, prints its path and ends the script; otherwise,
# given MIB MiB in the cache, sets entry to that path and tree to a new
# folder beside it, removed if the script ends before cache_keep.  Other
# runs wait, then take the entry.  apt's configuration takes no ".
cache_entry() {
    entry=$cache/$1
    local lock=$cache/.$1.lock
    [[ $cache != *'"'* ]] || { echo "$cache: a double quote, which apt cannot take" >&2; exit 1; }
    mkdir -p -m 755 "$cache" && trusted "${cache%/*}" && trusted "$cache" || exit 1
    (umask 077 && : >> "$lock") && chmod 600 "$lock" && exec {busy}< "$lock"
    flock -n "$busy" || { echo "waiting for another run to finish $entry" >&2; flock "$busy"; }
    [ ! -e "$entry/$2" ] || { echo "$entry"; exit 0; }
    room "$cache" "$3" "making $entry"
    scratch "$cache/.$1.XXXXXX"
    tree=$made
    on_exit 'remove "$tree"'
}

# cache_keep [KIND]: what was made in tree/out becomes the entry, in one
# rename, in place of an incomplete one, and the entries named KIND...
# whose key has moved on go; prints its path.
cache_keep() {
    local old
    [ ! -e "$entry" ] || remove "$entry"
    mv -T "$tree/out" "$entry"
    [ -z "${1:-}" ] || for old in "$cache/$1"*; do [ "$old" = "$entry" ] || remove "$old"; done
    echo "made $entry in $SECONDS s" >&2
    echo "$entry"
}
