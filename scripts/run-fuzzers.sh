#!/usr/bin/env bash
# Runs each fuzz target of BUILD_DIR (the fuzz preset's) for SECONDS under the address and
# undefined-behaviour sanitizers, starting from its seed corpus and regression inputs; fails
# on the first report. What a run finds new stays in a working folder, never in the tree.
#
#   scripts/run-fuzzers.sh BUILD_DIR [SECONDS=20]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: $0 BUILD_DIR [SECONDS]}
seconds=${2:-20}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for fuzzer in "$build"/bin/fuzz_*; do
    target=${fuzzer##*/fuzz_}
    mkdir -p "$work/$target"
    inputs=("fuzz/corpus/$target")
    [ -d "fuzz/regressions/$target" ] && inputs+=("fuzz/regressions/$target") # none yet for some
    if ! "$fuzzer" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
        -artifact_prefix="$work/" "$work/$target" "${inputs[@]}" >"$work/$target.log" 2>&1; then
        cat "$work/$target.log" >&2
        echo "fuzz target $target failed; the input that broke it:" >&2
        ls "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* 2>/dev/null | xargs -r od -c | head -40 >&2
        exit 1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$target.log")
    coverage=$(grep -o 'cov: [0-9]*' "$work/$target.log" | tail -n 1)
    echo "fuzz target $target: $runs runs in $seconds s, $coverage edges, no fault"
done
