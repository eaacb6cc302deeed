#!/usr/bin/env bash
# Times kqmediareport against the smallest possible program that asks the library the same
# questions (kq_bench_minimal_reader) and against `mediainfo --Output=XML`, all three on
# the same corpus, and prints median wall times, their ratios and peak memory.
#
#   bench/run.sh BUILD_DIR [CORPUS_DIR]
#
# BUILD_DIR is a configured and built tree (executables in BUILD_DIR/bin). CORPUS_DIR
# defaults to bench/out/corpus and is made by bench/make-corpus.sh when needed.
# Environment: RUNS (timed runs per program, default 5), FILES (corpus size, default 300),
# KQ_BENCH_NO_HYPERFINE=1 to time with /usr/bin/time even when hyperfine is installed.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out=$here/out
runs=${RUNS:-5}
files_wanted=${FILES:-300}

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 BUILD_DIR [CORPUS_DIR]" >&2
    exit 2
fi
build=$(cd "$1" && pwd) || { echo "$0: no build directory $1" >&2; exit 2; }
corpus=${2:-$out/corpus}
tool=$build/bin/kqmediareport
minimal=$build/bin/kq_bench_minimal_reader
for program in "$tool" "$minimal"; do
    [ -x "$program" ] || { echo "$0: $program is missing; build $build first" >&2; exit 1; }
done
command -v mediainfo >/dev/null || { echo "$0: the mediainfo command is needed" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "$0: /usr/bin/time is needed (package 'time')" >&2; exit 1; }

mkdir -p "$out"
load_start=$(cut -d' ' -f1-3 /proc/loadavg)

bash "$here/make-corpus.sh" "$corpus" "$files_wanted"
corpus=$(cd "$corpus" && pwd)

# Every program gets the same absolute paths in the same order. The list (not the corpus
# directory) is given to kqmediareport because its directory search takes video and
# still-image names only, and the corpus also has mp3 and wav files.
list=$out/files.list
find "$corpus" -maxdepth 1 -type f ! -name '.*' | LC_ALL=C sort >"$list"
mapfile -t files <"$list"
nfiles=${#files[@]}
[ "$nfiles" -gt 0 ] || { echo "$0: the corpus $corpus is empty" >&2; exit 1; }

names=("kqmediareport" "minimal reader" "mediainfo --Output=XML")
# The report goes to standard output (discarded): -o names a file that is replaced through
# a rename, which must never be a device.
cmd_tool=("$tool" --files-from "$list")
cmd_minimal=("$minimal" --files-from "$list")
cmd_mediainfo=(mediainfo --Output=XML "${files[@]}")

run_one() { # INDEX [PREFIX...]: runs program INDEX once, under PREFIX when given
    local i=$1
    shift
    case $i in
        0) "$@" "${cmd_tool[@]}" ;;
        1) "$@" "${cmd_minimal[@]}" ;;
        2) "$@" "${cmd_mediainfo[@]}" ;;
    esac
}

# Warm-up pass (page cache, library loading) that also checks that every program works on
# every file; the report itself is kept for inspection.
if ! run_one 0 >"$out/report.xml" 2>"$out/report.err"; then
    echo "$0: kqmediareport failed or left files out (see $out/report.err)" >&2
    exit 1
fi
opened=$(run_one 1)
[ "$opened" = "$nfiles" ] || { echo "$0: the minimal reader opened $opened of $nfiles files" >&2; exit 1; }
run_one 2 >/dev/null || { echo "$0: mediainfo failed" >&2; exit 1; }

median() { # numbers on standard input -> their median
    sort -g | awk '{ v[NR] = $1 } END {
        if (NR == 0) { print "nan"; exit }
        if (NR % 2) printf "%.4f\n", v[(NR + 1) / 2]
        else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

declare -a wall cpu rss
timing=/usr/bin/time
if [ -z "${KQ_BENCH_NO_HYPERFINE:-}" ] && command -v hyperfine >/dev/null && command -v jq >/dev/null; then
    timing=hyperfine
    quoted=()
    for i in 0 1 2; do
        quoted[i]=$(run_one "$i" printf '%q ')
    done
    hyperfine -N --style basic --warmup 1 --runs "$runs" --export-json "$out/hyperfine.json" \
        -n "${names[0]}" "${quoted[0]}" -n "${names[1]}" "${quoted[1]}" \
        -n "${names[2]}" "${quoted[2]}" >"$out/hyperfine.txt"
    for i in 0 1 2; do
        wall[i]=$(jq -r ".results[$i].median" "$out/hyperfine.json" | median)
        cpu[i]=$(jq -r ".results[$i] | .user + .system" "$out/hyperfine.json" | median)
    done
fi

# Peak memory always comes from /usr/bin/time -v; without hyperfine its runs are also the
# timed ones. The programs take turns and the one that starts a round rotates, so a change
# of machine load (other jobs on a shared machine) touches all three alike; the ratio of
# the two programs run back to back in each round is kept as well.
samples=$(mktemp -d "${TMPDIR:-/tmp}/kq-bench.XXXXXX")
trap 'rm -rf "$samples"' EXIT
passes=$runs
[ "$timing" = hyperfine ] && passes=1
for ((r = 0; r < passes; ++r)); do
    for k in 0 1 2; do
        i=$(((r + k) % 3))
        start=$(date +%s.%N)
        if ! run_one "$i" /usr/bin/time -v -o "$samples/time" >/dev/null 2>"$samples/err"; then
            echo "$0: ${names[i]} failed:" >&2
            cat "$samples/err" "$samples/time" >&2
            exit 1
        fi
        end=$(date +%s.%N)
        awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f\n", b - a }' >"$samples/last$i"
        cat "$samples/last$i" >>"$samples/wall$i"
        awk -F': ' '/User time|System time/ { s += $2 } END { print s }' "$samples/time" >>"$samples/cpu$i"
        awk -F': ' '/Maximum resident set size/ { print $2 }' "$samples/time" >>"$samples/rss$i"
    done
    paste "$samples/last0" "$samples/last1" | awk '{ printf "%.4f\n", $1 / $2 }' >>"$samples/paired"
done
fastest=()
for i in 0 1 2; do
    if [ "$timing" = hyperfine ]; then
        fastest[i]=$(jq -r ".results[$i].min" "$out/hyperfine.json")
    else
        wall[i]=$(median <"$samples/wall$i")
        cpu[i]=$(median <"$samples/cpu$i")
        fastest[i]=$(sort -g "$samples/wall$i" | head -n 1)
    fi
    rss[i]=$(sort -n "$samples/rss$i" | tail -n 1)
done
paired=n/a
[ "$timing" = hyperfine ] || paired=$(median <"$samples/paired")
load_end=$(cut -d' ' -f1-3 /proc/loadavg)

verdict() { # RATIO LIMIT: "ok" when RATIO <= LIMIT (or < LIMIT when strict is given)
    awk -v r="$1" -v l="$2" -v strict="${3:-}" 'BEGIN {
        ok = strict ? (r < l) : (r <= l); print ok ? "ok" : "MISSED" }'
}
ratio_minimal=$(awk -v a="${wall[0]}" -v b="${wall[1]}" 'BEGIN { printf "%.3f", a / b }')
ratio_mediainfo=$(awk -v a="${wall[0]}" -v b="${wall[2]}" 'BEGIN { printf "%.3f", a / b }')
cpu_ratio_minimal=$(awk -v a="${cpu[0]}" -v b="${cpu[1]}" 'BEGIN { printf "%.3f", (b > 0) ? a / b : 0 }')

{
    echo "KQ Media Information Checker benchmark, $(date -u '+%Y-%m-%d %H:%M:%S UTC')"
    echo "machine: $(nproc) CPUs; load average at start: $load_start"
    echo "corpus: $nfiles files in $corpus; $runs runs each, timed with $timing"
    echo "build: $build"
    echo
    printf '%-24s %10s %10s %10s %14s\n' program "median s" "fastest s" "cpu s" "peak RSS KiB"
    for i in 0 1 2; do
        printf '%-24s %10.3f %10.3f %10.3f %14s\n' "${names[i]}" "${wall[i]}" "${fastest[i]}" \
            "${cpu[i]}" "${rss[i]}"
    done
    echo
    echo "kqmediareport / minimal reader: $ratio_minimal, target <= 1.10: $(verdict "$ratio_minimal" 1.10)"
    echo "    (median cpu time ratio $cpu_ratio_minimal; median ratio within a round $paired)"
    echo "kqmediareport / mediainfo:      $ratio_mediainfo, target < 1: $(verdict "$ratio_mediainfo" 1 strict)"
    echo "load average at end: $load_end"
} | tee "$out/results.txt"
