# The Debian suite the board and every armel package come from, and fetches from it.
. "${BASH_SOURCE[0]%/*}/folders.sh"

# Named here alone (and in board/kernel.sh, its kernel's source package).
suite=bookworm
# Its release architectures, on each of which Debian builds the package.
release_archs="amd64 arm64 armel armhf i386 mips64el mipsel ppc64el s390x"
# What the board's root adds to apt's: mount for its init, pgrep and strace for its tests.
root_packages="man-db mount procps strace"

# A stalled connection is given up after 30 s, tried twice more, never by hash (it hangs).
apt_bounds='Acquire::http::Timeout "30"; Acquire::Retries "2"; Acquire::By-Hash "no";'

# bootstrap MIB FILE OPTION...: mmdebstrap's unshare mode makes tree/out/FILE
# of the suite in a run's folder of MIB MiB, opened to its namespace's root.
bootstrap() {
    private_place "$1" mmdebstrap
    enterable
    local file=$tree/out/$2
    shift 2
    mkdir -p "$tree/out"
    target_sources "$run/sources"
    TMPDIR=$run env --default-signal=INT timeout --foreground -k 5 10m mmdebstrap --mode=unshare \
        --skip=check/signed-by --aptopt="$apt_bounds" "$@" "$suite" "$file" "$run/sources" \
        > "$run/log" 2>&1 &
    wait $! || failed "$run/log" "mmdebstrap's $suite"
}

# mirrors: the Debian mirrors that the host's apt uses, as it reaches them.
mirrors() {
    { sed -n 's/^URIs://p' /etc/apt/sources.list.d/*.sources 2> /dev/null | xargs -rn1
      awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i ~ "://") { print $i; break } }' \
          /etc/apt/sources.list 2> /dev/null
    } | grep '/debian/*$' | sort -u
}

# target_sources FILE: the suite and its updates (not its security archive,
# where some mirrors have no armel) at the mirrors, in the deb822 form.
target_sources() {
    mirrors | while read -r uri; do
        printf 'Types: deb\nURIs: %s\nSuites: %s %s-updates\nComponents: main\nSigned-By: %s\n\n' \
            "$uri" "$suite" "$suite" /usr/share/keyrings/debian-archive-keyring.gpg
    done > "$1"
    [ -s "$1" ] || { echo "no Debian mirror in the host's apt sources" >&2; return 1; }
}

# target_fetch ARCH PACKAGE...: the suite's PACKAGEs for ARCH into run/debs,
# by an apt of its own in run/apt; ARCH "A B ..." fetches lists alone.
target_fetch() {
    local apt=$run/apt arch=$1 archs
    archs=$(printf '"%s"; ' $1)
    shift
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/sources" "$run/debs"
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
        { [ $# = 0 ] || (cd "$run/debs" && "${get[@]}" download "$@"); }; } 2> "$apt/log" ||
        failed "$apt/log" "fetching $suite's $* for $arch"
}

# failed LOG WHAT: ends the script naming what a mirror did not give, or else WHAT failed.
failed() {
    grep -m1 -oE '(Failed|Unable) to fetch .*|Could not (connect|resolve) .*' "$1" >&2 ||
        { cat "$1" >&2; echo "$2 failed or ran out of time; mirrors:" $(mirrors) >&2; }
    exit 1
}
