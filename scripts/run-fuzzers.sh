#!/bin/sh
# Runs every libFuzzer harness of a fuzz build for a bounded time, each on a
# copy of its seed corpus inside the build folder (the seeds in the source
# tree are never written to), and prints per harness the executions per
# second, the total executions and the final corpus size. Fails when a
# harness crashes, breaks one of its properties, leaks, hangs or is missing.
#
# usage: scripts/run-fuzzers.sh BUILD_DIR [SECONDS]
#   BUILD_DIR  a build configured as tests/fuzz/CMakeLists.txt describes
#   SECONDS    fuzzing time per harness, 30 when left out
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 BUILD_DIR [SECONDS]" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
seconds=${2:-30}

# A single input that takes this long is a fault of its own (a regular
# expression gone exponential, say), not a slow machine.
input_timeout=20

export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"

failed=""
summary=""

# stat NAME LOG: the value of libFuzzer's final "stat::NAME:" line.
stat() {
    sed -n "s/^stat::$1: *//p" "$2" | tail -n 1
}

# fuzz NAME: runs one harness; its log and any artifacts stay in
# BUILD_DIR/fuzz-runs/NAME.
fuzz() {
    name=$1
    binary="$build/tests/fuzz/$name"
    work="$build/fuzz-runs/$name"
    if [ ! -x "$binary" ]; then
        echo "== $name: $binary is missing (build the 'fuzzers' target)"
        failed="$failed $name(missing)"
        return
    fi
    rm -rf "$work"
    mkdir -p "$work/corpus" "$work/artifacts"
    cp "$root/tests/fuzz/corpus/$name/"* "$work/corpus/"
    dictionary=""
    if [ -f "$root/tests/fuzz/$name.dict" ]; then
        dictionary="-dict=$root/tests/fuzz/$name.dict"
    fi
    echo "== $name: fuzzing for $seconds s"
    status=0
    # shellcheck disable=SC2086
    "$binary" -max_total_time="$seconds" -timeout="$input_timeout" \
        -print_final_stats=1 -artifact_prefix="$work/artifacts/" $dictionary "$work/corpus" \
        >"$work/log" 2>&1 || status=$?
    artifacts=$(ls "$work/artifacts")
    if [ "$status" -ne 0 ] || [ -n "$artifacts" ]; then
        grep -E -A40 "property broken|ERROR|runtime error|Test unit written|SUMMARY" "$work/log" | head -80 || tail -n 40 "$work/log"
        echo "== $name: FAILED (exit status $status; artifacts in $work/artifacts: ${artifacts:-none})"
        failed="$failed $name"
    fi
    executions=$(stat number_of_executed_units "$work/log")
    rate=$(stat average_exec_per_sec "$work/log")
    files=$(find "$work/corpus" -type f | wc -l)
    bytes=$(find "$work/corpus" -type f -exec cat {} + | wc -c)
    summary="$summary$(printf '%-20s %12s %16s %8s files %10s bytes' \
        "$name" "${rate:-?}" "${executions:-?}" "$files" "$bytes")
"
}

for seeds in "$root"/tests/fuzz/corpus/*/; do
    fuzz "$(basename "$seeds")"
done

printf '\n%-20s %12s %16s %s\n' harness "execs/s" "executions" "final corpus"
printf '%s' "$summary"

if [ -n "$failed" ]; then
    echo "== fuzzing FAILED:$failed"
    exit 1
fi
echo "== fuzzing found nothing in $seconds s per harness"
