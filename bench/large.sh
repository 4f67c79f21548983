#!/usr/bin/env bash
# Times and weighs kolorvane-cli on the largest palettes:
#   bench/large.sh [ROUNDS]
# In a temporary folder (under $TMPDIR, /tmp unless given), makes a GIMP
# palette of 65,535 distinct colours, each named with 20 characters, and a
# 4096 x 4096 RGB PNG of 65,535 distinct colours (Pillow, Debian's Python);
# then in each of ROUNDS rounds (5 unless given) times, under
# /usr/bin/time, the palette to .ase, that .ase back to a GIMP palette, and
# the PNG read into a GIMP palette. Prints each run's wall time and peak
# resident memory, then the median of each. Measures the release build
# unless KOLORVANE_CLI names another.
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=${1:-5}
cli=${KOLORVANE_CLI:-build/release/cli/kolorvane-cli}
if [ -z "${KOLORVANE_CLI:-}" ] && [ ! -x "$cli" ]; then
    cmake --preset release >/dev/null
    cmake --build --preset release >/dev/null
fi
cli=$(realpath "$cli")

work=$(mktemp -d "${TMPDIR:-/tmp}/kolorvane-large.XXXXXX")
trap 'rm -rf "$work"' EXIT

/usr/bin/python3 - "$work" <<'PY'
import os, random, sys
from PIL import Image
folder = sys.argv[1]
values = random.Random(7).sample(range(1 << 24), 65535)
table = b"".join(bytes(((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF)) for v in values)
with open(os.path.join(folder, "large.gpl"), "w") as f:
    f.write("GIMP Palette\nName: large\nColumns: 16\n#\n")
    for i, v in enumerate(values):
        f.write("%3d %3d %3d\tSwatch number %06d\n" % ((v >> 16) & 0xFF, (v >> 8) & 0xFF,
                                                       v & 0xFF, i))
# Pixel p takes colour p mod 65,535: every colour, 256 or 257 pixels each.
pixels = (table * (4096 * 4096 // 65535 + 1))[:4096 * 4096 * 3]
Image.frombytes("RGB", (4096, 4096), pixels).save(os.path.join(folder, "image.png"))
PY
mkdir "$work/ase" "$work/gpl" "$work/png"

# LABEL COMMAND...: one run, its wall seconds, peak resident KiB, and user
# and system CPU seconds (which a busy machine inflates less than the wall).
measure() {
    local label=$1
    shift
    /usr/bin/time -f "%e %M %U %S" -o "$work/time.txt" "$@" >/dev/null
    echo "$label $(cat "$work/time.txt")" | tee -a "$work/runs.txt"
}

echo "scenario wall_s peak_kib user_s system_s"
for ((round = 1; round <= rounds; round++)); do
    rm -f "$work"/ase/* "$work"/gpl/* "$work"/png/*
    measure gpl-to-ase "$cli" -q --to ase -o "$work/ase" "$work/large.gpl"
    measure ase-to-gpl "$cli" -q --to gpl -o "$work/gpl" "$work/ase/large.ase"
    measure png-read "$cli" -q --to gpl -o "$work/png" "$work/image.png"
done
cmp -s <(tail -n +5 "$work/large.gpl") <(tail -n +5 "$work/gpl/large.gpl") ||
    { echo "the palette did not come back the same" >&2; exit 1; }
[ "$(tail -n +5 "$work/png/image.gpl" | wc -l)" -eq 65535 ] ||
    { echo "the image did not give 65,535 colours" >&2; exit 1; }
for label in gpl-to-ase ase-to-gpl png-read; do
    awk -v l="$label" '$1 == l { print $2, $3 }' "$work/runs.txt" | sort -n |
        awk -v l="$label" -v r="$rounds" '{ t[NR] = $1; if ($2 > m) m = $2 } END {
            printf "median %s: %.3f s wall, highest peak %.1f MiB (%d rounds)\n", l, t[int((NR + 1) / 2)], m / 1024, r }'
done
echo "(in ${TMPDIR:-/tmp}; $(stat -c %s "$work/large.gpl") bytes of GIMP palette," \
    "$(stat -c %s "$work/image.png") bytes of PNG)"
