# The apparatus's shared library, sourced by every script of the tests,
# the board and the package builds: the target suite and bounded fetches
# from it, the cache, free space, how a run ends, and private folders.

# The Debian suite that the board's root, its kernel's source and every
# armel package come from, whatever the host runs: named here alone (and
# in kernel.sh, the name of its kernel's source package).
suite=bookworm
# Its release architectures, on each of which Debian builds the package.
release_archs="amd64 arm64 armel armhf i386 mips64el mipsel ppc64el s390x"

# Where what takes long to make is kept (a relative XDG_CACHE_HOME is
# invalid, so ignored), and what the root adds to apt's minimal system:
# mount for the board's init, pgrep and strace for its tests.
cache=$HOME/.cache/quorvel
[[ ${XDG_CACHE_HOME:-} != /* ]] || cache=$XDG_CACHE_HOME/quorvel
root_packages="man-db mount procps strace"
# mkfs.ext4, which writes the board's disks, is in /usr/sbin, not on an
# ordinary user's PATH.
PATH=$PATH:/usr/sbin:/sbin

# on_exit COMMANDS: however the script ends, what it started, at any depth
# (mmdebstrap's apt-get), is told to end and waited for, then COMMANDS run,
# deaf to Ctrl-C, SIGTERM and a reader gone.
descendants() { local child; for child in $(pgrep -P "$1"); do echo "$child"; descendants "$child"; done; }
on_exit() {
    trap 'trap "" INT TERM PIPE; kill -TERM $(descendants $$) 2> /dev/null || :; wait; '"$1" EXIT
}

# trusted FOLDER: ends the script with one line unless FOLDER is a real
# folder that only this user can change, or root's sticky /tmp.
trusted() {
    [ -n "$(find "$(realpath -ms -- "$1")" -maxdepth 0 -type d \( -user "$(id -u)" ! -perm /022 \
        -o -user 0 -perm -1000 \) 2> /dev/null)" ] ||
        { echo "$1 is not a folder that only $(id -un) can change: not used" >&2; exit 1; }
}

# remove FOLDER: removes it, with what a namespace gave other owners.
remove() { rm -rf "$1" 2> /dev/null || unshare --map-auto --map-root-user rm -rf "$1"; }

# A stalled or cut connection is given up after 30 s and tried twice more,
# never by hash (apt's fallback from it hangs): for apt-get -c, --aptopt.
apt_bounds='Acquire::http::Timeout "30"; Acquire::Retries "2"; Acquire::By-Hash "no";'

# room FOLDER MIB WHAT: ends the script with one line where FOLDER (or
# memory) has less than MIB MiB free for WHAT.
room() {
    local free=$(df -Pm "$1" 2> /dev/null | awk 'NR == 2 { print $4 }')
    [ "$1" != memory ] || free=$(awk '/^MemAvailable:/ { print int($2 / 1024) }' /proc/meminfo)
    [ "${free:-0}" -ge "$2" ] ||
        { echo "$3 needs $2 MiB free in $1, which has ${free:-0} MiB" >&2; exit 1; }
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

# cache_keep: what was made in tree/out becomes the entry, in one rename,
# in place of an incomplete one; prints its path.
cache_keep() {
    [ ! -e "$entry" ] || remove "$entry"
    mv -T "$tree/out" "$entry"
    echo "made $entry in $SECONDS s" >&2
    echo "$entry"
}

# bootstrap MIB FILE OPTION...: mmdebstrap makes tree/out/FILE of the
# suite at the mirrors, given MIB MiB in /tmp, in its unshare mode, in a
# folder its namespace's root can reach (neither a home nor TMPDIR may be),
# killed 5 s after being told to end; in the background, hearing Ctrl-C.
bootstrap() {
    room /tmp "$1" mmdebstrap
    local file=$tree/out/$2
    shift 2
    mkdir -p "$tree/out"
    target_sources "$tree/sources"
    scratch /tmp/quorvel-mmdebstrap.XXXXXX
    scratch_dir=$made
    chmod 755 "$scratch_dir"
    on_exit 'remove "$tree"; remove "$scratch_dir"'
    TMPDIR=$scratch_dir env --default-signal=INT timeout --foreground -k 5 10m mmdebstrap --mode=unshare \
        --skip=check/signed-by --aptopt="$apt_bounds" "$@" "$suite" "$file" "$tree/sources" \
        > "$tree/log" 2>&1 &
    wait $! || failed "$tree/log" "mmdebstrap's $suite"
}

# mirrors: the Debian mirrors that the host's apt uses, as it reaches them.
mirrors() {
    { sed -n 's/^URIs://p' /etc/apt/sources.list.d/*.sources 2> /dev/null | xargs -rn1
      awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i ~ "://") { print $i; break } }' \
          /etc/apt/sources.list 2> /dev/null
    } | grep '/debian/*$' | sort -u
}

# target_sources FILE: the suite's sources, in the deb822 form, at the
# mirrors, signed by Debian's archive keyring; the host's own suites play
# no part.  The suite and its updates, not its security archive: some
# mirrors have no armel there, and a package of two architectures must
# come from one.
target_sources() {
    mirrors | while read -r uri; do
        printf 'Types: deb\nURIs: %s\nSuites: %s %s-updates\nComponents: main\nSigned-By: %s\n\n' \
            "$uri" "$suite" "$suite" /usr/share/keyrings/debian-archive-keyring.gpg
    done > "$1"
    [ -s "$1" ] || { echo "no Debian mirror in the host's apt sources" >&2; return 1; }
}

# target_fetch DIR ARCH PACKAGE...: downloads the suite's PACKAGEs for
# ARCH into DIR/debs, through an apt configuration of its own in DIR/apt
# that leaves the host's lists and dpkg state alone; ARCH may be several,
# "A B ...", for lists alone (in DIR/apt/lists).
target_fetch() {
    local dir=$1 apt=$1/apt arch=$2 archs
    archs=$(printf '"%s"; ' $2)
    shift 2
    rm -rf "$apt" "$dir/debs"
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/sources" "$dir/debs"
    : > "$apt/status"
    target_sources "$apt/sources/debian.sources"
    cat > "$apt/apt.conf" <<CONF
APT::Architecture "${arch%% *}";
APT::Architectures { $archs};
APT::Sandbox::User "root";
Dir::State "$apt";
Dir::State::Lists "$apt/lists";
Dir::State::status "$apt/status";
Dir::Cache "$apt/cache";
Dir::Etc::SourceList "/dev/null";
Dir::Etc::SourceParts "$apt/sources";
$apt_bounds
CONF
    echo "fetching $suite's ${*:-lists} for $arch" >&2
    local get=(env APT_CONFIG="$apt/apt.conf" timeout --foreground -k 5 5m apt-get -qq)
    { "${get[@]}" --error-on=any update &&
        { [ $# = 0 ] || (cd "$dir/debs" && "${get[@]}" download "$@"); }; } 2> "$apt/log" ||
        failed "$apt/log" "fetching $suite's $* for $arch"
}

# failed LOG WHAT: ends the script with the line naming what a mirror did
# not give, or else LOG and a line naming WHAT (stopped if hung), mirrors.
failed() {
    grep -m1 -oE '(Failed|Unable) to fetch .*|Could not (connect|resolve) .*' "$1" >&2 ||
        { cat "$1" >&2; echo "$2 failed or ran out of time; mirrors:" $(mirrors) >&2; }
    exit 1
}
