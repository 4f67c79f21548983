#!/usr/bin/env bash
# Times kolorvane-cli against cp (and rsync --fsync), and counts its system
# calls per file:
#   bench/run.sh [ROUNDS [FILES]]
# Makes FILES random palettes (10000 unless given; half .pal, half .act) in a
# temporary folder, then in each of ROUNDS rounds (7 unless given) times four
# scenarios, each in one call over all the files:
#   first     converting in place, no output there yet
#   unchanged the same again: every output already holds its bytes
#   outdir    `-o DIR` into an empty folder
#   changed   converting in place after every source has changed, so that
#             every output is replaced, flushed first
#   gpl       FILES GIMP palettes of 16 colours converted to EDGE PAL in
#             place, no output there yet, against cp of those same files
#   png       FILES PNG strips of 32 colours, 8 x 8 pixels each (256 x 8),
#             made by Pillow, the same way
#   gif       the same strips saved as GIFs by Pillow, the same way
#   bmp       FILES 8-bit BMPs of 256 colours (a 256 x 8 strip of 1 x 8
#             squares), made by Pillow, the same way
#   cmyk      FILES .ase files of 16 named CMYK colours, the same way: each
#             colour converted to sRGB through the built-in press profile
# each against `cp -t DIR` copying the same files into an empty folder on the
# same file system (one read and one write each: the floor), in alternating
# order; and `changed` also against `rsync --fsync` bringing a copy of the
# old sources up to the changed ones, which replaces every file durably as
# the changed run does. Prints each round's times and the median of each
# ratio; then runs each scenario once more under `strace -f -c` and prints
# its system calls per file. Measures build/release/cli/kolorvane-cli (the
# release preset, built here if missing) unless KOLORVANE_CLI names another.
# Last, bench/large.sh times and weighs the largest palettes (65,535
# colours) in the same folder.
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=${1:-7}
count=${2:-10000}
cli=${KOLORVANE_CLI:-build/release/cli/kolorvane-cli}
if [ -z "${KOLORVANE_CLI:-}" ] && [ ! -x "$cli" ]; then
    cmake --preset release >/dev/null
    cmake --build --preset release >/dev/null
fi
cli=$(realpath "$cli")
for tool in strace rsync; do
    command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/kolorvane-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# FOLDER COUNT SEED: the palettes, the same names for every seed.
makePalettes() {
    mkdir -p "$1"
    python3 - "$@" <<'PY'
import os, random, sys
folder, count, seed = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
generator = random.Random(seed)
for i in range(count):
    body = generator.randbytes(768)
    data, name = (b"EDGE PAL\0\0" + body, "p%05d.pal" % i) if i % 2 == 0 else (body, "p%05d.act" % i)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)
PY
}

# FOLDER COUNT: GIMP palettes of 16 random colours, each with a name.
makeGimpPalettes() {
    mkdir -p "$1"
    python3 - "$@" <<'PY'
import os, random, sys
folder, count = sys.argv[1], int(sys.argv[2])
generator = random.Random(3)
for i in range(count):
    lines = ["GIMP Palette", "Name: g%05d" % i, "Columns: 4", "#"]
    lines += ["%3d %3d %3d\tColour %d" % (generator.randrange(256), generator.randrange(256),
                                          generator.randrange(256), k) for k in range(16)]
    with open(os.path.join(folder, "g%05d.gpl" % i), "w") as f:
        f.write("\n".join(lines) + "\n")
PY
}

# FOLDER COUNT: 8x strips of 32 random colours, saved by Pillow (Debian's
# Python has it), as palettes are shared.
makePngStrips() {
    mkdir -p "$1"
    /usr/bin/python3 - "$@" <<'PY'
import os, random, sys
from PIL import Image
folder, count = sys.argv[1], int(sys.argv[2])
generator = random.Random(4)
for i in range(count):
    image = Image.new("RGB", (256, 8))
    for k in range(32):
        color = tuple(generator.randrange(256) for _ in range(3))
        image.paste(color, (8 * k, 0, 8 * k + 8, 8))
    image.save(os.path.join(folder, "s%05d.png" % i))
PY
}

# FOLDER PNGS: the strips in PNGS saved as GIFs by Pillow, each with a colour
# table of 32 entries.
makeGifStrips() {
    /usr/bin/python3 - "$@" <<'PY'
import os, sys
from PIL import Image
folder, pngs = sys.argv[1], sys.argv[2]
os.makedirs(folder)
for name in sorted(os.listdir(pngs)):
    strip = Image.open(os.path.join(pngs, name)).convert("P", palette=Image.Palette.ADAPTIVE,
                                                          colors=32)
    strip.save(os.path.join(folder, name[:-4] + ".gif"))
PY
}

# FOLDER COUNT: 8-bit BMPs whose tables hold 256 random colours, a 1 x 8
# column of each, saved by Pillow.
makeBmps() {
    mkdir -p "$1"
    /usr/bin/python3 - "$@" <<'PY'
import os, random, sys
from PIL import Image
folder, count = sys.argv[1], int(sys.argv[2])
generator = random.Random(5)
for i in range(count):
    image = Image.new("P", (256, 8))
    image.putpalette(generator.randbytes(768))
    image.putdata(list(range(256)) * 8)
    image.save(os.path.join(folder, "b%05d.bmp" % i))
PY
}

# FOLDER COUNT: .ase files of 16 random CMYK colours, each with a name.
makeCmykAse() {
    mkdir -p "$1"
    python3 - "$@" <<'PY'
import os, random, struct, sys
folder, count = sys.argv[1], int(sys.argv[2])
generator = random.Random(5)
for i in range(count):
    blocks = b""
    for k in range(16):
        name = ("Ink %d\0" % k).encode("utf-16-be")
        inks = [generator.random() for _ in range(4)]
        body = struct.pack(">H", len(name) // 2) + name + b"CMYK" + struct.pack(">4fH", *inks, 2)
        blocks += struct.pack(">HI", 1, len(body)) + body
    with open(os.path.join(folder, "k%05d.ase" % i), "wb") as f:
        f.write(b"ASEF" + struct.pack(">HHI", 1, 0, 16) + blocks)
PY
}

makePalettes "$work/old" "$count" 1
makePalettes "$work/new" "$count" 2
makeGimpPalettes "$work/gpl" "$count"
makePngStrips "$work/png" "$count"
makeGifStrips "$work/gif" "$work/png"
makeBmps "$work/bmp" "$count"
makeCmykAse "$work/cmyk" "$count"
names=()
for path in "$work"/old/p*; do
    names+=("${path##*/}")
done
gplNames=()
for path in "$work"/gpl/g*; do
    gplNames+=("${path##*/}")
done
pngNames=()
for path in "$work"/png/s*; do
    pngNames+=("${path##*/}")
done
gifNames=()
for path in "$work"/gif/s*; do
    gifNames+=("${path##*/}")
done
bmpNames=()
for path in "$work"/bmp/b*; do
    bmpNames+=("${path##*/}")
done
cmykNames=()
for path in "$work"/cmyk/k*; do
    cmykNames+=("${path##*/}")
done

# Nanoseconds COMMAND takes, run in FOLDER; the sync beforehand keeps the
# write-back of the set-up from landing in the time.
timed() {
    local folder=$1
    shift
    sync
    local start end
    start=$(date +%s%N)
    (cd "$folder" && "$@" >/dev/null)
    end=$(date +%s%N)
    echo $((end - start))
}

# Each scenario's set-up (untimed) in $work/run; then its command.
fresh() { rm -rf "$work/run" "$work/out" && cp -a "$work/$1" "$work/run" && mkdir "$work/out"; }
setupFirst() { fresh old; }
setupUnchanged() { fresh old && (cd "$work/run" && "$cli" -q -- "${names[@]}"); }
setupOutdir() { fresh old; }
setupChanged() { setupUnchanged && cp -a "$work/new/." "$work/run/"; }
setupCp() { fresh old; }
setupRsync() { fresh old && rm -rf "$work/mirror" && cp -a "$work/old" "$work/mirror"; }
setupGpl() { fresh gpl; }
setupCpGpl() { fresh gpl; }
setupPng() { fresh png; }
setupCpPng() { fresh png; }
setupGif() { fresh gif; }
setupCpGif() { fresh gif; }
setupBmp() { fresh bmp; }
setupCpBmp() { fresh bmp; }
setupCmyk() { fresh cmyk; }
setupCpCmyk() { fresh cmyk; }
runFirst() { timed "$work/run" "$cli" -- "${names[@]}"; }
runUnchanged() { runFirst; }
runOutdir() { timed "$work/run" "$cli" -o ../out -- "${names[@]}"; }
runChanged() { runFirst; }
runCp() { timed "$work/run" cp -t ../out -- "${names[@]}"; }
runRsync() { timed "$work" rsync -r --whole-file --ignore-times --fsync new/ mirror/; }
runGpl() { timed "$work/run" "$cli" -- "${gplNames[@]}"; }
runCpGpl() { timed "$work/run" cp -t ../out -- "${gplNames[@]}"; }
runPng() { timed "$work/run" "$cli" -- "${pngNames[@]}"; }
runCpPng() { timed "$work/run" cp -t ../out -- "${pngNames[@]}"; }
runGif() { timed "$work/run" "$cli" -- "${gifNames[@]}"; }
runCpGif() { timed "$work/run" cp -t ../out -- "${gifNames[@]}"; }
runBmp() { timed "$work/run" "$cli" -- "${bmpNames[@]}"; }
runCpBmp() { timed "$work/run" cp -t ../out -- "${bmpNames[@]}"; }
# Its warnings, a line a file on standard error, written as ever, unread.
withoutErrors() { "$@" 2>/dev/null; }
runCmyk() { timed "$work/run" withoutErrors "$cli" -- "${cmykNames[@]}"; }
runCpCmyk() { timed "$work/run" cp -t ../out -- "${cmykNames[@]}"; }

# NAME: one timed run of that scenario after its set-up.
measure() { "setup$1" >/dev/null && "run$1"; }

median() {
    sort -n | awk '{ v[NR] = $1 } END {
        if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

# The lowest and highest of the numbers on standard input.
spread() { sort -n | awk 'NR == 1 { low = $1 } { high = $1 } END { printf "%s - %s\n", low, high }'; }

# LABEL MINE PEER: one row of the table.
row() {
    awk -v r="$round" -v l="$1" -v a="$2" -v b="$3" \
        'BEGIN { printf "%-6d %-10s %10.1f %10.1f %8.3f\n", r, l, a / 1e6, b / 1e6, a / b }'
}

scenarios=(First Unchanged Outdir Changed)
declare -A ratios
for name in "${scenarios[@]}" Cp Rsync Gpl CpGpl Png CpPng Gif CpGif Bmp CpBmp Cmyk CpCmyk; do
    measure "$name" >/dev/null  # warm caches
done
printf '%-6s %-10s %10s %10s %8s\n' round scenario cli_ms peer_ms ratio
# SCENARIO against its COPY in this round, which goes first by turns, as
# a row LABEL and into SCENARIO's ratios.
againstCopy() {
    local mine peer
    if ((round % 2)); then
        mine=$(measure "$1") && peer=$(measure "$2")
    else
        peer=$(measure "$2") && mine=$(measure "$1")
    fi
    ratios[$1]+="$(ratio "$mine" "$peer") "
    row "$3" "$mine" "$peer"
}

for ((round = 1; round <= rounds; round++)); do
    for name in "${scenarios[@]}"; do
        if ((round % 2)); then
            mine=$(measure "$name") && peer=$(measure Cp)
        else
            peer=$(measure Cp) && mine=$(measure "$name")
        fi
        ratios[$name]+="$(ratio "$mine" "$peer") "
        row "$name" "$mine" "$peer"
    done
    mine=$(measure Changed) && peer=$(measure Rsync)
    ratios[Rsync]+="$(ratio "$mine" "$peer") "
    row "vs rsync" "$mine" "$peer"
    againstCopy Gpl CpGpl gpl
    againstCopy Png CpPng png
    againstCopy Gif CpGif gif
    againstCopy Bmp CpBmp bmp
    againstCopy Cmyk CpCmyk cmyk
done
for name in "${scenarios[@]}"; do
    echo "median ratio $name / cp: $(tr ' ' '\n' <<<"${ratios[$name]}" | grep . | median)"
done
echo "median ratio Changed / rsync --fsync: $(tr ' ' '\n' <<<"${ratios[Rsync]}" | grep . | median)"
echo "median ratio gpl to EDGE PAL / cp: $(tr ' ' '\n' <<<"${ratios[Gpl]}" | grep . | median)" \
    "($(tr ' ' '\n' <<<"${ratios[Gpl]}" | grep . | spread))"
echo "median ratio png to EDGE PAL / cp: $(tr ' ' '\n' <<<"${ratios[Png]}" | grep . | median)" \
    "($(tr ' ' '\n' <<<"${ratios[Png]}" | grep . | spread))"
echo "median ratio gif to EDGE PAL / cp: $(tr ' ' '\n' <<<"${ratios[Gif]}" | grep . | median)" \
    "($(tr ' ' '\n' <<<"${ratios[Gif]}" | grep . | spread))"
echo "median ratio bmp to EDGE PAL / cp: $(tr ' ' '\n' <<<"${ratios[Bmp]}" | grep . | median)" \
    "($(tr ' ' '\n' <<<"${ratios[Bmp]}" | grep . | spread))"
echo "median ratio cmyk .ase to EDGE PAL / cp: $(tr ' ' '\n' <<<"${ratios[Cmyk]}" | grep . | median)" \
    "($(tr ' ' '\n' <<<"${ratios[Cmyk]}" | grep . | spread))"
echo "($rounds rounds of $count files in ${TMPDIR:-/tmp})"

# System calls per file: strace's summary table, total row, over the count.
perFile() {
    local label=$1
    shift
    strace -f -c -o "$work/strace.txt" "$@" >/dev/null
    local total
    total=$(awk '$NF == "total" { print $(NF - 2) }' "$work/strace.txt")
    awk -v t="$total" -v n="$count" -v l="$label" \
        'BEGIN { printf "%s: %d system calls, %.2f per file\n", l, t, t / n }'
    # The calls made about once per file or more, with their count per file
    # (strace's columns: % time, seconds, usecs/call, calls, [errors,] name).
    awk -v n="$count" 'NR > 2 && $NF != "total" && $4 ~ /^[0-9]+$/ && $4 >= n / 2 {
        printf "    %-18s %5.2f", $NF, $4 / n
        if (NF == 6) printf "  (%.2f failing)", $5 / n
        printf "\n" }' "$work/strace.txt"
}
for name in "${scenarios[@]}" Cp Gpl Png Gif Bmp Cmyk; do
    "setup$name" >/dev/null
    (cd "$work/run" && case $name in
        Outdir) perFile "$name" "$cli" -o ../out -- "${names[@]}" ;;
        Cp) perFile cp cp -t ../out -- "${names[@]}" ;;
        Gpl) perFile "$name" "$cli" -- "${gplNames[@]}" ;;
        Png) perFile "$name" "$cli" -- "${pngNames[@]}" ;;
        Gif) perFile "$name" "$cli" -- "${gifNames[@]}" ;;
        Bmp) perFile "$name" "$cli" -- "${bmpNames[@]}" ;;
        Cmyk) perFile "$name" "$cli" -- "${cmykNames[@]}" 2>/dev/null ;;
        *) perFile "$name" "$cli" -- "${names[@]}" ;;
    esac)
done

# The largest palettes: their time and peak memory.
bench/large.sh
