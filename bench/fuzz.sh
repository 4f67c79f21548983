#!/usr/bin/env bash
# Measures each fuzz target's speed on its own checked-in corpus:
#   bench/fuzz.sh [SECONDS [TARGET...]]
# Runs each target (every one the fuzz build makes unless named) for
# SECONDS (60 unless given), one after another, from its seeds, and prints
# its executions, executions a second and coverage beside the budget of
# 1,000 executions a second. The inputs it adds are thrown away; a finding
# is kept in build/fuzz/bench/TARGET/findings. Exit status 1 when a target
# is slower than the budget or finds anything.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=("$@")
budget=1000

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
if [ ${#targets[@]} -eq 0 ]; then
    for binary in build/fuzz/fuzz/*_fuzzer; do
        name=$(basename "$binary")
        targets+=("${name%_fuzzer}")
    done
fi

# One of libFuzzer's final statistics from a run's output.
stat() { sed -n "s/^stat::$1: *//p" "$2" | tail -1; }

mkdir -p build/fuzz/bench
printf '%-14s %12s %10s %8s  %s\n' target executions "a second" edges result
status=0
for target in "${targets[@]}"; do
    log=build/fuzz/bench/$target.log
    code=0
    fuzz/run-target.sh "build/fuzz/fuzz/${target}_fuzzer" "fuzz/corpus/$target" \
        "build/fuzz/bench/$target" "$seconds" >"$log" 2>&1 || code=$?
    runs=$(stat number_of_executed_units "$log")
    edges=$(sed -n 's/.*cov: \([0-9]*\).*/\1/p' "$log" | tail -1)
    rate=$(( ${runs:-0} / seconds ))
    result=ok
    if [ $code -eq 77 ]; then
        result="skipped: none of its family's rows is in the table"
    elif [ $code -ne 0 ]; then
        result="FOUND: see build/fuzz/bench/$target/findings"
        status=1
    elif [ "$rate" -lt $budget ]; then
        result="slower than $budget a second"
        status=1
    fi
    printf '%-14s %12s %10s %8s  %s\n' "$target" "${runs:-0}" "$rate" "${edges:-?}" "$result"
done
rm -rf build/fuzz/bench/*/corpus
exit $status
