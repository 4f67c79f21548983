#!/usr/bin/env bash
# A longer fuzzing run than the test command's, one target after another:
#   scripts/fuzz.sh [SECONDS [TARGET...]]
# SECONDS for each target, 600 unless given; the targets are read_pal,
# read_act, naming, drop and formats, all unless named. Each starts from its
# checked-in seeds; the inputs it adds are kept in build/fuzz/long/TARGET/corpus, a
# finding in build/fuzz/long/TARGET/findings, its output in
# build/fuzz/long/TARGET.log. Fails if any target finds anything.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(read_pal read_act naming drop formats)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

mkdir -p build/fuzz/long
status=0
for target in "${targets[@]}"; do
    echo "== $target, $seconds s"
    log=build/fuzz/long/$target.log
    if fuzz/run-target.sh "build/fuzz/fuzz/${target}_fuzzer" "fuzz/corpus/$target" \
        "build/fuzz/long/$target" "$seconds" >"$log" 2>&1; then
        result="nothing found"
    else
        result="FOUND: $(ls "build/fuzz/long/$target/findings" 2>/dev/null | tr '\n' ' ')"
        status=1
    fi
    executions=$(sed -n 's/^stat::number_of_executed_units: //p' "$log")
    echo "$target: ${executions:-?} executions, $result"
done
exit $status
