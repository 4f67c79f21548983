#!/usr/bin/env bash
# Times kolorvane-cli against cp, and counts its system calls per file:
#   bench/run.sh [ROUNDS [FILES]]
# Makes FILES random palettes (10000 unless given; half .pal, half .act) in a
# temporary folder, then in each of ROUNDS rounds (7 unless given), in
# alternating order, times one `kolorvane-cli -o DIR FILE...` converting them
# all and one `cp -t DIR FILE...` copying them all (one read and one write
# each: the floor), each into an empty folder on the same file system. Prints
# each round's times and the median of the ratio kolorvane-cli / cp; then
# runs each once more under `strace -f -c` and prints its system calls per
# file. Measures build/release/cli/kolorvane-cli (the release preset, built
# here if missing) unless KOLORVANE_CLI names another binary.
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
command -v strace >/dev/null || { echo "strace is needed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/kolorvane-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/src"

python3 - "$work/src" "$count" <<'PY'
import os, sys
folder, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    if i % 2 == 0:
        data, name = b"EDGE PAL\0\0" + os.urandom(768), "p%05d.pal" % i
    else:
        data, name = os.urandom(768), "p%05d.act" % i
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)
PY

cd "$work/src"
names=(p*)

# Nanoseconds one command takes, with an empty output folder made beforehand
# and removed afterwards (neither timed). The sync keeps the write-back of
# one run's files from landing in the next one's time.
timed() {
    local out=$1
    shift
    rm -rf "$out"
    mkdir "$out"
    sync
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    rm -rf "$out"
    echo $((end - start))
}

runCli=("$cli" -o ../out-cli -- "${names[@]}")
runCp=(cp -t ../out-cp -- "${names[@]}")

# One untimed run of each, so that both start with warm caches.
timed ../out-cli "${runCli[@]}" >/dev/null
timed ../out-cp "${runCp[@]}" >/dev/null

ratios=()
printf '%-6s %12s %12s %8s\n' round cli_ms cp_ms ratio
for ((round = 1; round <= rounds; round++)); do
    if ((round % 2)); then
        cliTime=$(timed ../out-cli "${runCli[@]}")
        cpTime=$(timed ../out-cp "${runCp[@]}")
    else
        cpTime=$(timed ../out-cp "${runCp[@]}")
        cliTime=$(timed ../out-cli "${runCli[@]}")
    fi
    ratio=$(awk -v a="$cliTime" -v b="$cpTime" 'BEGIN { printf "%.3f", a / b }')
    ratios+=("$ratio")
    awk -v r="$round" -v a="$cliTime" -v b="$cpTime" -v q="$ratio" \
        'BEGIN { printf "%-6d %12.1f %12.1f %8s\n", r, a / 1e6, b / 1e6, q }'
done
median=$(printf '%s\n' "${ratios[@]}" | sort -n | awk '{ v[NR] = $1 } END {
    if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
echo "median ratio kolorvane-cli / cp over $rounds rounds of $count files: $median"

# System calls per file: strace's summary table, total row, over the count.
perFile() {
    local label=$1 out=$2
    shift 2
    rm -rf "$out"
    mkdir "$out"
    strace -f -c -o "$work/strace-$label.txt" "$@" >/dev/null
    rm -rf "$out"
    local total
    total=$(awk '$NF == "total" { print $(NF - 2) }' "$work/strace-$label.txt")
    awk -v t="$total" -v n="$count" -v l="$label" \
        'BEGIN { printf "%s: %d system calls, %.2f per file\n", l, t, t / n }'
    # The calls made about once per file or more, with their count per file
    # (strace's columns: % time, seconds, usecs/call, calls, [errors,] name).
    awk -v n="$count" 'NR > 2 && $NF != "total" && $4 ~ /^[0-9]+$/ && $4 >= n / 2 {
        printf "    %-18s %5.2f", $NF, $4 / n
        if (NF == 6) printf "  (%.2f failing)", $5 / n
        printf "\n" }' "$work/strace-$label.txt"
}
perFile kolorvane-cli ../out-cli "${runCli[@]}"
perFile cp ../out-cp "${runCp[@]}"
