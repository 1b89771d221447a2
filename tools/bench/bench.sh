#!/usr/bin/env bash
# Times Quorvel on a full clip beside the floor (its process shape copying a
# programme made before) and a sox pipeline, all into one discarding player.
# Usage: bench.sh BUILD
set -eu
build=$(realpath -- "$1")
bash "$(dirname "$0")/../need.sh" hyperfine sox
# In the build folder, the run's own: any TMPDIR may be another's.
work=$build/bench.work
rm -rf "$work" && mkdir -m 700 "$work"
trap 'rm -rf "$work"' EXIT
export PATH="$build/bench:$PATH"

# The commands name no path, which hyperfine would split at a space.
cd "$work"
ln -s "$build/Quorvel" Quorvel && ln -s "$build/bench/floor" floor
head -c 28600 /dev/urandom > clip.raw
"$build/tests/host/programme" clip.raw > programme.raw

cat > sox.sh <<'SOX'
{
    head -c $((5 * 28600)) /dev/zero
    for speed in 1.1666667 1.2 1.25 1.3333333 1.5; do
        sox -t raw -r 22100 -e unsigned -b 8 -c 1 clip.raw -t raw - speed $speed repeat 4
    done
} | aplay
SOX

hyperfine --warmup 50 --runs 1000 -N --export-json times.json \
    -n Quorvel "./Quorvel clip.raw" -n floor "./floor programme.raw" > fast.txt 2>&1
hyperfine --warmup 2 --runs 20 --export-json sox.json -n sox "bash sox.sh" > slow.txt 2>&1

mean() { grep -A3 "\"command\": \"$2\"" "$1" | sed -n 's/.*"mean": \([0-9.e-]*\),/\1/p'; }
quorvel=$(mean times.json Quorvel)
floor=$(mean times.json floor)
sox=$(mean sox.json sox)
rss=$(BENCH_RSS=1 ./Quorvel clip.raw | tail -n 1)
stripped() {
    cp "$1" "$work/stripped" && ${2:-}strip "$work/stripped" && wc -c < "$work/stripped"
}

awk -v q="$quorvel" -v f="$floor" -v s="$sox" 'BEGIN {
    printf "mean  Quorvel %.3f ms   floor %.3f ms   sox pipeline %.3f ms\n", q * 1e3, f * 1e3, s * 1e3
    printf "ratio Quorvel / floor %.2f (goal <= 1.00)   sox / Quorvel %.1f (goal >= 10)\n", q / f, s / q
}'
echo "producer peak RSS: $rss KiB"
echo "stripped Quorvel: native $(stripped "$build/Quorvel") bytes" \
    "$( [ -x "$build-armel/Quorvel" ] && echo "armel $(stripped "$build-armel/Quorvel" arm-linux-gnueabi-) bytes")"
