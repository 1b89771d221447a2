#!/usr/bin/env bash
# Plays BUILD/demo.raw with BUILD/Quorvel, or where no sound device opens (or
# with RECORD=1) records it to BUILD/demo.wav by ALSA's file plugin, in a
# configuration of its own.  Usage: demo.sh BUILD
set -eu
build=$1
clip=$build/demo.raw
wav=$build/demo.wav
png=$build/demo.png

bash "$(dirname "$0")/need.sh" alsa-utils

# A moment of silence tells whether the default device opens at all.
if [ "${RECORD:-0}" != 1 ] &&
    head -c 256 /dev/zero | tr '\0' '\200' | aplay -q -t raw 2> /dev/null; then
    exec "$build/Quorvel" "$clip"
fi

# In the build folder: any TMPDIR may be another's.
config=$build/demo.config
partial=$wav.partial
rm -rf "$config" && mkdir -m 700 "$config"
trap 'rm -rf "$config" "$partial"' EXIT
sh "$(dirname "$0")/alsa-file.sh" "$config" "$partial" wav
rm -f "$wav" "$png"
# Made here first, not by the file plugin (mode 600), it has the build's mode.
: > "$partial"
if ! XDG_CONFIG_HOME=$config "$build/Quorvel" "$clip" > /dev/null 2> "$config/log"; then
    cat "$config/log" >&2
    echo "demo: recording failed; no $wav was written" >&2
    exit 1
fi
mv "$partial" "$wav"
if command -v sox > /dev/null; then
    sox "$wav" -n spectrogram -x 1200 -y 257 -z 60 \
        -t "Quorvel demo: zero bytes (lowest level), then 7/6, 6/5, 5/4, 4/3, 3/2" -o "$png"
    echo "demo: no sound device, so the programme was recorded to $wav (spectrogram: $png); listen with 'play $wav' on a machine with speakers"
else
    echo "demo: no sound device, so the programme was recorded to $wav; listen with 'aplay $wav' on a machine with speakers"
fi
