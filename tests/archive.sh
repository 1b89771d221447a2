# The Debian archive this machine's apt uses, for armel, and the armel
# root built from it: sourced by the scripts that fetch armel packages
# and by those that use the root.

# Where the root's tarball and the packages fetched into it are kept, and
# what the root holds beyond apt's minimal system: the board's init needs
# mount, and its tests pgrep and strace.
cache=${XDG_CACHE_HOME:-$HOME/.cache}/quorvel
root_packages="man-db mount procps strace"
tarball=$cache/bookworm-armel-${root_packages// /-}.tar.gz

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
