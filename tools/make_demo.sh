#!/usr/bin/env bash
# Usage: make_demo.sh DEST STANDIN
# Fills DEST with everything zerivirav needs to be tried out: the pictures,
# the readme, the quex stand-in as quex.exe and a set of made-up ROM files.
# The ROMs are not games: only their first bytes are chosen, so that each one
# is recognised as its catalogue row; the rest is filler.
set -euo pipefail
export LC_ALL=C

if [[ $# -ne 2 ]]; then
    printf 'usage: %s DEST STANDIN\n' "${0##*/}" >&2
    exit 2
fi
dest=$1
standin=$2
data="$(dirname "$0")/../data"

if [[ ! -f $standin ]]; then
    printf '%s: stand-in "%s" is missing or not a file\n' "${0##*/}" "$standin" >&2
    exit 1
fi
if [[ ! -d $data/graphics || ! -f $data/zerivirav.txt ]]; then
    printf '%s: data folder "%s" is incomplete\n' "${0##*/}" "$data" >&2
    exit 1
fi

mkdir -p "$dest/graphics"
cp -R "$data/graphics/." "$dest/graphics/"
cp "$data/zerivirav.txt" "$dest/zerivirav.txt"
# --remove-destination: a quex.exe still running from an earlier demo would
# otherwise make the copy fail with "Text file busy".
cp --remove-destination "$standin" "$dest/quex.exe"
chmod 755 "$dest/quex.exe"

# NOP filler (0xEA); it holds no carriage return, so the first line of every
# ROM runs past the eight bytes that identify it.
filler() {
    local pad
    printf -v pad '%*s' "$1" ''
    printf %b "${pad// /\\xea}"
}

# rom NAME SIZE BYTES...: the given bytes (hex), then filler up to SIZE bytes.
rom() {
    local name=$1 size=$2 head='' b
    shift 2
    for b in "$@"; do head+="\\x$b"; done
    { printf %b "$head"; filler $((size - $#)); } > "$dest/$name"
}

rom ACIDDROP.BIN 16384 A9 FD 85 85 8D 8A 02 FF
rom ADVENTUR.BIN  4096 4C EF F2 78 D8 4C 6F 03
rom ACTIONMN.BIN  4096 78 D8 A2 8A 95 9A 86 85
rom TRON.BIN      4096 7E 66 66 66 66 7E 7E 18
rom AIRRAID.BIN   4096 78 D8 A2 FF 9A E8 8A 95
rom AIRSEA.BIN    2048 78 D8 A9 AA 95 E8 D0 FB
rom AIRRAIDS.BIN  4096 FE C6 D6 D6 C6 FE 38 18
rom AIRLOCK.BIN   4096 78 D8 A9 AA 95 CA D0 FB
rom AIRSEA2.BIN   4096 78 D8 A9 AA 95 E8 D0 FB
rom ALIEN.BIN     4096 1E 33 33 33 33 33 1E 3F

# Unrecognised files. Air Raid's first bytes cut short by a carriage return
# after the eighth: the line is too short for a full fingerprint.
rom 'Test Cart.bin' 4096 78 D8 A2 FF 9A E8 8A 95 0D

# Starts with a carriage return (empty first line), then noise from a fixed
# linear congruential sequence so every run writes the same bytes.
noise='\x0d'
x=2600
b=''
for ((i = 1; i < 2048; i++)); do
    x=$(( (x * 1103515245 + 12345) & 0x7fffffff ))
    printf -v b '\\x%02x' $(( (x >> 16) & 0xff ))
    noise+=$b
done
printf %b "$noise" > "$dest/homebrew.bin"

printf 'Not a cartridge image: the file list shows only *.bin files.\n' > "$dest/notes.txt"
