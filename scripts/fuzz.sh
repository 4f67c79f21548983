#!/usr/bin/env bash
# A longer fuzzing run than the test command's, one target after another:
#   scripts/fuzz.sh [SECONDS [TARGET...]]
# SECONDS for each target, 600 unless given; every target the fuzz build
# makes (a read_FAMILY target for each family of fuzz/families.txt,
# write_formats, read_pal, read_act, naming, drop) unless named. Each starts from its
# checked-in seeds; the inputs it adds are kept in build/fuzz/long/TARGET/corpus, a
# finding in build/fuzz/long/TARGET/findings, its output in
# build/fuzz/long/TARGET.log. Fails if any target finds anything.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
[ $# -gt 0 ] && shift
targets=("$@")

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
if [ ${#targets[@]} -eq 0 ]; then
    for binary in build/fuzz/fuzz/*_fuzzer; do
        name=$(basename "$binary")
        targets+=("${name%_fuzzer}")
    done
fi

mkdir -p build/fuzz/long
status=0
for target in "${targets[@]}"; do
    echo "== $target, $seconds s"
    log=build/fuzz/long/$target.log
    code=0
    fuzz/run-target.sh "build/fuzz/fuzz/${target}_fuzzer" "fuzz/corpus/$target" \
        "build/fuzz/long/$target" "$seconds" >"$log" 2>&1 || code=$?
    if [ $code -eq 0 ]; then
        result="nothing found"
    elif [ $code -eq 77 ]; then
        result="skipped: none of its family's rows is in the table yet"
    else
        result="FOUND: $(ls "build/fuzz/long/$target/findings" 2>/dev/null | tr '\n' ' ')"
        status=1
    fi
    executions=$(sed -n 's/^stat::number_of_executed_units: //p' "$log")
    echo "$target: ${executions:-?} executions, $result"
done
exit $status
