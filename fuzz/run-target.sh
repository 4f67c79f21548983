#!/usr/bin/env bash
# Runs one libFuzzer target for a bounded time:
#   run-target.sh BINARY SEEDS WORK SECONDS [libFuzzer options...]
# New inputs go to WORK/corpus, emptied first; the checked-in SEEDS are only
# read. A finding (crash, broken invariant, leak, timeout, running out of
# memory) leaves its input in WORK/findings and fails the run.
set -euo pipefail

if [ $# -lt 4 ]; then
    echo "usage: $0 BINARY SEEDS WORK SECONDS [libFuzzer options...]" >&2
    exit 2
fi
binary=$1 seeds=$2 work=$3 seconds=$4
shift 4

rm -rf "$work"
mkdir -p "$work/corpus" "$work/findings"

# The largest input that means anything: the drop target's four set-up
# bytes, a full path and a .pal with some bytes to spare; for the formats'
# targets, room for a few dozen colours of any format, names and comments.
max_len=1200
case "$(basename "$binary")" in
    read_pal_fuzzer | read_act_fuzzer) ;;
    read_*_fuzzer | write_formats_fuzzer) max_len=4096 ;;
esac
# AddressSanitizer keeps 16 MiB of freed memory from reuse rather than 256:
# far more than an input frees, and a target's memory stays small rather
# than faulting in fresh pages all run long.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16}
# A finding exits 1, not libFuzzer's 77, which is the test's "skipped": a
# family none of whose rows is in the table exits 77 before it fuzzes.
"$binary" \
    -error_exitcode=1 \
    -max_total_time="$seconds" \
    -timeout=10 \
    -rss_limit_mb=2048 \
    -max_len="$max_len" \
    -dict="$(dirname "$0")/kolorvane.dict" \
    -print_final_stats=1 \
    -artifact_prefix="$work/findings/" \
    "$@" \
    "$work/corpus" $([ -d "$seeds" ] && echo "$seeds")
