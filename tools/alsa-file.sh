#!/bin/sh
# Points ALSA's default device, under XDG_CONFIG_HOME=DIR, at its file plugin:
# aplay records into FILE, raw or wav (FORMAT); \, " and % (%r is the rate) escaped.
# Usage: alsa-file.sh DIR FILE FORMAT
set -eu
mkdir -p "$1/alsa"
file=$(printf '%s\n' "$2" | sed 's/[\\"]/\\&/g; s/%/%%/g')
printf 'pcm.!default { type file; slave.pcm "null"; file "%s"; format "%s" }\n' \
    "$file" "$3" > "$1/alsa/asoundrc"
