#!/bin/sh
# Points ALSA's default device, for programs run with XDG_CONFIG_HOME=DIR,
# at its file plugin: the real aplay then records into FILE the bytes it
# would have played, as they are (FORMAT raw) or as a WAV file (wav).  In
# the plugin's file name a backslash and a double quote are escaped, and
# % (which starts a field, %r the rate) is doubled.
# Usage: alsa-file.sh DIR FILE FORMAT
set -eu
mkdir -p "$1/alsa"
file=$(printf '%s\n' "$2" | sed 's/[\\"]/\\&/g; s/%/%%/g')
printf 'pcm.!default { type file; slave.pcm "null"; file "%s"; format "%s" }\n' \
    "$file" "$3" > "$1/alsa/asoundrc"
