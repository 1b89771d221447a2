# The Debian archive this machine's apt uses, for armel, and the board's
# armel root built from it: sourced by the scripts that fetch armel
# packages and by those that make or use the root and the board.

# Where what takes long to make is kept, and what the root holds beyond
# apt's minimal system: the board's init needs mount, and its tests pgrep
# and strace.
cache=${XDG_CACHE_HOME:-$HOME/.cache}/quorvel
root_packages="man-db mount procps strace"
# mkfs.ext4, which writes the board's disks, is in /usr/sbin, not on an
# ordinary user's PATH.
PATH=$PATH:/usr/sbin:/sbin

# on_exit COMMANDS: when the script ends, however it ends, what it left
# running is told to end and waited for, then COMMANDS run.  Nothing cuts
# that short: it ignores the signals that would (Ctrl-C reaches every
# process of the group, and the test runner's end sends SIGTERM after
# it) and a reader of its output that is gone.
on_exit() {
    trap 'trap "" INT TERM PIPE; pkill -TERM -P $$ || :; wait; '"$1" EXIT
}

# cache_entry NAME FILE: the cache's entry NAME, complete once it holds
# FILE.  When it is, prints its path and ends the script; otherwise sets
# entry to that path and tree to a new temporary folder beside it, removed
# if the script ends before cache_keep.
cache_entry() {
    entry=$cache/$1
    if [ -e "$entry/$2" ]; then
        echo "$entry"
        exit 0
    fi
    mkdir -p "$cache"
    tree=$(mktemp -d "$cache/.$1.XXXXXX")
    on_exit 'rm -rf "$tree"'
}

# cache_keep: what was made in tree/out becomes the entry, in one rename;
# prints its path.
cache_keep() {
    mv "$tree/out" "$entry"
    echo "$entry"
}

# armel_sources FILE: writes the host's Debian sources, limited to armel,
# in the deb822 form of /etc/apt/sources.list.d/*.sources (or converted
# from the one-line form of /etc/apt/sources.list).
armel_sources() {
    local part
    : > "$1"
    for part in /etc/apt/sources.list.d/*.sources; do
        [ -f "$part" ] && grep -qi '^URIs:.*debian' "$part" || continue
        sed '/^Types:/a Architectures: armel' "$part" >> "$1"
        printf '\n' >> "$1"
    done
    if [ ! -s "$1" ] && [ -f /etc/apt/sources.list ]; then
        awk '$1 == "deb" && $2 !~ /^\[/ && /debian/ {
                 printf "Types: deb\nArchitectures: armel\nURIs: %s\nSuites: %s\nComponents:", $2, $3
                 for (i = 4; i <= NF; i++) printf " %s", $i
                 printf "\n\n" }' /etc/apt/sources.list > "$1"
    fi
    if [ ! -s "$1" ]; then
        echo "no Debian archive found in /etc/apt/sources.list or /etc/apt/sources.list.d/" >&2
        return 1
    fi
}
