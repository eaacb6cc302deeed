#!/usr/bin/env bash
# Times kqmediareport with one and with two analysis workers against the smallest possible
# program that asks the library the same questions (kq_bench_minimal_reader) and against
# `mediainfo --Output=XML`, all on the same corpus; what a process per file costs against the
# worker of old and against a bare fork (kq_bench_file_process); a report of one file; then
# the peak memory of a 3,000-file report, of a report whose files all send the largest replies
# allowed, and a corpus with one hanging file; with SIZES=1 real-sized files.
#
#   bench/run.sh BUILD_DIR [CORPUS_DIR]
#
# BUILD_DIR is a configured and built tree (executables in BUILD_DIR/bin, the fake media
# library in BUILD_DIR/fakes). CORPUS_DIR defaults to bench/out/corpus and is made by
# bench/make-corpus.sh when needed.
# Environment: RUNS (timed runs per program, default 5), FILES (corpus size, default 300),
# LARGE (files of the memory run, default 3000), HANG_TIMEOUT (seconds, default 5), SCALE (1:
# also 300,000 paths and the window; 2: also 1,000,000 paths), SIZES (1: the real-sized files
# of make-sizes.sh), BASELINE (a build of an earlier version to time the real-sized files
# with too).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out=$here/out
runs=${RUNS:-5}
files_wanted=${FILES:-300}
large_wanted=${LARGE:-3000}
hang_timeout=${HANG_TIMEOUT:-5}

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 BUILD_DIR [CORPUS_DIR]" >&2
    exit 2
fi
build=$(cd "$1" && pwd) || { echo "$0: no build directory $1" >&2; exit 2; }
corpus=${2:-$out/corpus}
tool=$build/bin/kqmediareport
minimal=$build/bin/kq_bench_minimal_reader
fake=$build/fakes/full
file_process=$build/bin/kq_bench_file_process
for program in "$tool" "$minimal" "$build/bin/kqmediaworker" "$build/bin/kq_bench_window_build" "$file_process"; do
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

names=("kqmediareport -j 1" "kqmediareport -j 2" "minimal reader" "mediainfo --Output=XML"
       "2 minimal readers, halves")
# The machine's own ceiling for two processes: two minimal readers at once, each on half of
# the list (a shared virtual machine seldom gives two full cores).
split -n l/2 "$list" "$out/half."
halves() {
    "$minimal" --files-from "$out/half.aa" >/dev/null &
    "$minimal" --files-from "$out/half.ab" >/dev/null
    wait $!
}
run_one() { # INDEX [PREFIX...]: runs program INDEX once, under PREFIX when given
    local i=$1
    shift
    case $i in
        0) "$@" "$tool" --no-cache -j 1 --files-from "$list" ;;
        1) "$@" "$tool" --no-cache -j 2 --files-from "$list" ;;
        2) "$@" "$minimal" --files-from "$list" ;;
        3) "$@" mediainfo --Output=XML "${files[@]}" ;;
    esac
}

# Warm-up pass (page cache, library loading) that also checks every program on every file.
run_one 0 >"$out/report.xml" 2>"$out/report.err" ||
    { echo "$0: kqmediareport failed or left files out (see $out/report.err)" >&2; exit 1; }
run_one 1 | cmp -s - "$out/report.xml" ||
    { echo "$0: the two-worker report differs from the one-worker report" >&2; exit 1; }
opened=$(run_one 2)
[ "$opened" = "$nfiles" ] || { echo "$0: the minimal reader opened $opened of $nfiles files" >&2; exit 1; }
run_one 3 >/dev/null || { echo "$0: mediainfo failed" >&2; exit 1; }

median() { # numbers on standard input -> their median
    sort -g | awk '{ v[NR] = $1 } END {
        if (NR == 0) { print "nan"; exit }
        if (NR % 2) printf "%.4f\n", v[(NR + 1) / 2]
        else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (b > 0) ? a / b : 0 }'; }
verdict() { # VALUE OP LIMIT -> ok / MISSED
    awk -v v="$1" -v op="$2" -v l="$3" 'BEGIN {
        ok = (op == "<=") ? v <= l : (op == ">=") ? v >= l : v < l; print ok ? "ok" : "MISSED" }'
}
timed() { # SAMPLES_PREFIX PROGRAM ARGS...: one run under /usr/bin/time; appends wall, cpu, rss
    local prefix=$1 start end
    shift
    start=$(date +%s.%N)
    if ! /usr/bin/time -v -o "$prefix.time" "$@" >/dev/null 2>"$prefix.err"; then
        if ! grep -q 'left out' "$prefix.err"; then
            echo "$0: $* failed:" >&2
            cat "$prefix.err" "$prefix.time" >&2
            exit 1
        fi
    fi
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f\n", b - a }' | tee -a "$prefix.wall" >"$prefix.last"
    awk -F': ' '/User time|System time/ { s += $2 } END { print s }' "$prefix.time" >>"$prefix.cpu"
    awk -F': ' '/Maximum resident set size/ { print $2 }' "$prefix.time" >>"$prefix.rss"
}

# The programs take turns and the one that starts a round rotates, so a change of machine
# load touches all alike.
samples=$(mktemp -d "${TMPDIR:-/tmp}/kq-bench.XXXXXX")
trap 'rm -rf "$samples"' EXIT
for ((r = 0; r < runs; ++r)); do
    for k in 0 1 2 3 4; do
        i=$(((r + k) % 5))
        case $i in
            0) timed "$samples/p$i" "$tool" --no-cache -j 1 --files-from "$list" ;;
            1) timed "$samples/p$i" "$tool" --no-cache -j 2 --files-from "$list" ;;
            2) timed "$samples/p$i" "$minimal" --files-from "$list" ;;
            3) timed "$samples/p$i" mediainfo --Output=XML "${files[@]}" ;;
            4) timed "$samples/p$i" env minimal="$minimal" out="$out" bash -c "$(declare -f halves); halves" ;;
        esac
    done
    # Back-to-back pairs within a round: a slow spell of a shared machine touches both.
    paste "$samples/p0.last" "$samples/p1.last" | awk '{ printf "%.4f\n", $1 / $2 }' >>"$samples/speedup"
    paste "$samples/p3.last" "$samples/p1.last" | awk '{ printf "%.4f\n", $1 / $2 }' >>"$samples/vsmediainfo"
    paste "$samples/p0.last" "$samples/p2.last" | awk '{ printf "%.4f\n", $1 / $2 }' >>"$samples/vsminimal"
    paste "$samples/p2.last" "$samples/p4.last" | awk '{ printf "%.4f\n", $1 / $2 }' >>"$samples/ceiling"
done
declare -a wall cpu rss
for i in 0 1 2 3 4; do
    wall[i]=$(median <"$samples/p$i.wall")
    cpu[i]=$(median <"$samples/p$i.cpu")
    rss[i]=$(sort -n "$samples/p$i.rss" | tail -n 1)
done

# What a process per file costs: the worker of old (one process parses every file), a bare
# fork, exit and wait of a worker, and the process per file, on the corpus.
"$file_process" --rounds "$runs" "${files[@]}" >"$samples/per-file"
per_file() { awk -v w="$1" '$0 ~ "^" w "  " { print $(NF - 3) }' "$samples/per-file" | median; }
one_process=$(per_file "one process")
bare_fork=$(per_file "fork")
file_process_ms=$(per_file "file process")

# One file: the whole run of each program on the corpus's first MP4.
single=$(grep -m 1 '\.mp4$' "$list")
for ((r = 0; r < runs; ++r)); do
    timed "$samples/single-tool" "$tool" --no-cache "$single"
    timed "$samples/single-mediainfo" mediainfo --Output=XML "$single"
done
single_ratio=$(ratio "$(median <"$samples/single-tool.wall")" "$(median <"$samples/single-mediainfo.wall")")

# Memory: a report of many files (the corpus files copied under more names).
large_corpus=$out/corpus-$large_wanted
bash "$here/make-corpus.sh" "$large_corpus" "$large_wanted" >/dev/null
large_list=$out/files-$large_wanted.list
find "$large_corpus" -maxdepth 1 -type f ! -name '.*' | LC_ALL=C sort >"$large_list"
timed "$samples/large" "$tool" --no-cache --files-from "$large_list"
large_files=$(wc -l <"$large_list")
large_rss=$(cat "$samples/large.rss")
large_wall=$(cat "$samples/large.wall")

# Scale: time per file and peak memory of reports over 3,000 and 30,000 paths (and, with
# SCALE=1, 1,000,000, which takes minutes), the corpus listed over and over; and how soon the
# first file of a 30,000-path report reaches a reader of standard output.
scale_list() { # N -> a file listing N paths of the corpus, repeated
    local f=$out/scale-$1.list
    [ -s "$f" ] || awk -v n="$1" '{ p[NR] = $0 } END { for (i = 0; i < n; ++i) print p[i % NR + 1] }' "$list" >"$f"
    echo "$f"
}
scale_sizes=(3000 30000)
[ "${SCALE:-0}" -ge 1 ] && scale_sizes+=(300000)
[ "${SCALE:-0}" -ge 2 ] && scale_sizes+=(1000000)
for n in "${scale_sizes[@]}"; do
    timed "$samples/scale$n" "$tool" --no-cache -j 2 --files-from "$(scale_list "$n")" -o /dev/null
done
# The forms: the corpus in XML, CSV and JSON, taking turns (the one that starts a round
# rotates); and the largest scale run in CSV and JSON too.
forms=(xml csv json)
for ((r = 0; r < runs; ++r)); do
    for k in 0 1 2; do
        form=${forms[$(((r + k) % 3))]}
        timed "$samples/form-$form" "$tool" --no-cache -j 2 --format "$form" --files-from "$list" -o /dev/null
    done
done
largest=${scale_sizes[-1]}
for form in csv json; do
    timed "$samples/scale$largest-$form" "$tool" --no-cache -j 2 --format "$form" --files-from "$(scale_list "$largest")" -o /dev/null
done

# The cache: the paths of the scale runs as names of their own (hard links of the corpus,
# 30,000; 300,000 with SCALE=1), made some seconds before the runs so that none is racy:
# without the cache, a first run that fills it, a second over unchanged files, one where 1 %
# of the files changed (three of the corpus's files, each under 1/100 of the names), and
# mediainfo on the same files; the size of the database.
cache_names=$(( ${SCALE:-0} >= 1 ? 300000 : 30000 ))
links=$out/links-$cache_names
if [ ! -d "$links" ]; then
    for ((r = 0; r < cache_names / nfiles; ++r)); do
        mkdir -p "$links/$r" && cp -al "${files[@]}" "$links/$r/"
    done
fi
find "$links" -type f | LC_ALL=C sort >"$out/links.list"
cache_db=$out/cache.sqlite
rm -f "$cache_db"*
sleep 2
timed "$samples/cache-none" "$tool" --no-cache -j 2 --files-from "$out/links.list" -o "$out/cache-none.xml"
timed "$samples/cache-first" "$tool" --cache "$cache_db" -j 2 --files-from "$out/links.list" -o "$out/cache-first.xml"
timed "$samples/cache-second" "$tool" --cache "$cache_db" -j 2 --files-from "$out/links.list" -o "$out/cache-second.xml"
touch "${files[@]:0:3}"
sleep 2
timed "$samples/cache-changed" "$tool" --cache "$cache_db" -j 2 --files-from "$out/links.list" -o "$out/cache-changed.xml"
timed "$samples/cache-mediainfo" mediainfo --Output=XML "$links"
for run in first second changed; do
    cmp -s "$out/cache-none.xml" "$out/cache-$run.xml" || { echo "$0: the report of the $run run over the cache differs" >&2; exit 1; }
done
cache_result="$(wc -l <"$out/links.list") names, two workers, wall s (peak RSS KiB): no cache $(cat "$samples/cache-none.wall") ($(cat "$samples/cache-none.rss")), first $(cat "$samples/cache-first.wall") ($(cat "$samples/cache-first.rss")), second $(cat "$samples/cache-second.wall") ($(cat "$samples/cache-second.rss")), 1 % changed $(cat "$samples/cache-changed.wall") ($(cat "$samples/cache-changed.rss")), mediainfo $(cat "$samples/cache-mediainfo.wall") ($(cat "$samples/cache-mediainfo.rss")); second run $(ratio "$(cat "$samples/cache-none.wall")" "$(cat "$samples/cache-second.wall")") times faster (target >= 20: $(verdict "$(ratio "$(cat "$samples/cache-none.wall")" "$(cat "$samples/cache-second.wall")")" ">=" 20)); first / none $(ratio "$(cat "$samples/cache-first.wall")" "$(cat "$samples/cache-none.wall")") (target <= 1.05); database $(($(stat -c %s "$cache_db") >> 10)) KiB"

# Merging: a report of 30,000 files (300,000 with SCALE=1), the corpus's elements repeated,
# joined by --merge, against reading it once (wc -l). Linear, and memory stays the same.
"$tool" --no-cache -j 2 --files-from "$list" -o "$out/corpus-report.xml" 2>/dev/null || true
merge_files=$(( ${SCALE:-0} >= 1 ? 300000 : 30000 ))
merge_part=$out/merge-$merge_files.xml
awk -v n="$merge_files" -v files="$nfiles" 'NR == 1 { print; next } /^<\/AllFileInfo>/ { end = $0; next }
    { body = body $0 "\n" } END { for (i = 0; i < n / files; ++i) printf "%s", body; print end }' \
    "$out/corpus-report.xml" >"$merge_part"
timed "$samples/merge" "$tool" --merge "$merge_part" -o /dev/null
timed "$samples/read" wc -l "$merge_part"
merge_result="$merge_files files, $(($(stat -c %s "$merge_part") >> 20)) MiB: merged in $(printf '%.3f' "$(cat "$samples/merge.wall")") s (peak RSS $(cat "$samples/merge.rss") KiB, target < 102400: $(verdict "$(cat "$samples/merge.rss")" "<" 102400)); read by wc -l in $(printf '%.3f' "$(cat "$samples/read.wall")") s"
# The window's own memory while it builds and saves the report of 100,000 rows (SCALE=1).
window_result="skipped (SCALE=1 runs it)"
if [ "${SCALE:-0}" -ge 1 ]; then
    read -r window_rows window_before window_peak < <("$build/bin/kq_bench_window_build" 100000 "${files[@]}" 2>/dev/null)
    window_result="$window_rows rows: $window_before KiB before the build, peak $window_peak KiB, growth $((window_peak - window_before)) KiB (target < 102400: $(verdict "$((window_peak - window_before))" "<" 102400))"
fi
# The reader notes the time as the first byte arrives; the tool then ends on the closed pipe.
first_start=$(date +%s.%N)
{ "$tool" --no-cache -j 2 --files-from "$(scale_list 30000)" 2>/dev/null || true; } |
    { head -c 1 >/dev/null; date +%s.%N >"$out/first-byte"; }
first_byte=$(awk -v a="$first_start" -v b="$(cat "$out/first-byte")" 'BEGIN { printf "%.3f", b - a }')

# A hanging file among slow ones, with the fake media library: the run ends within the time
# limit plus the time the other files take on their own.
hang_result="skipped (no fake library in $fake)"
if [ -f "$fake/libmediainfo.so.0" ]; then
    hang_dir=$out/hang-corpus
    rm -rf "$hang_dir"
    mkdir -p "$hang_dir"
    for n in $(seq -w 1 100); do
        printf 'KQFAKEMEDIA\n!sleep 50\n0 0 Format=slow %s\n' "$n" >"$hang_dir/file$n.kqfake"
    done
    find "$hang_dir" -name '*.kqfake' | LC_ALL=C sort >"$out/others.list"
    printf 'KQFAKEMEDIA\n!hang\n' >"$hang_dir/hang.kqfake"
    { echo "$hang_dir/hang.kqfake"; cat "$out/others.list"; } >"$out/hang.list"
    LD_LIBRARY_PATH=$fake timed "$samples/others" "$tool" --no-cache -j 2 --files-from "$out/others.list"
    LD_LIBRARY_PATH=$fake timed "$samples/hang" "$tool" --no-cache -j 2 --timeout "$hang_timeout" --files-from "$out/hang.list"
    others=$(cat "$samples/others.wall")
    with_hang=$(cat "$samples/hang.wall")
    bound=$(awk -v t="$hang_timeout" -v o="$others" 'BEGIN { printf "%.3f", t + o }')
    grep -q "hang.kqfake: took longer than the time limit of $hang_timeout s" "$samples/hang.err" ||
        { echo "$0: the hanging file was not left out:" >&2; cat "$samples/hang.err" >&2; exit 1; }
    hang_result="$(printf '%.3f' "$with_hang") s (others alone $(printf '%.3f' "$others") s; limit $hang_timeout s; bound $bound s): $(verdict "$with_hang" "<=" "$(awk -v b="$bound" 'BEGIN { print b + 0.5 }')")"
fi
# Replies as large as a worker may send (1 MiB of values each), held behind a slow first
# file: what waits is bounded in bytes, so the tool stays small.
hostile_result="skipped (no fake library in $fake)"
if [ -f "$fake/libmediainfo.so.0" ]; then
    hostile_dir=$out/hostile-corpus
    rm -rf "$hostile_dir"
    mkdir -p "$hostile_dir"
    value=$(head -c 60000 /dev/zero | tr '\0' x)
    { echo KQFAKEMEDIA
      for p in Format FileSize/String Duration/String1 TextCount; do echo "0 0 $p=$value"; done
      for p in Format Width Height FrameRate BitRate; do echo "1 0 $p=$value"; done
      for p in Format BitRate Channels SamplingRate Language; do echo "2 0 $p=$value"; done
      printf '1 0 StreamCount=1\n2 0 StreamCount=1\n'
    } >"$hostile_dir/large.kqfake"
    printf 'KQFAKEMEDIA\n!sleep 3000\n' >"$hostile_dir/slow.kqfake"
    { echo "$hostile_dir/slow.kqfake"
      for n in $(seq -w 1 400); do ln "$hostile_dir/large.kqfake" "$hostile_dir/large$n.kqfake"; echo "$hostile_dir/large$n.kqfake"; done
    } >"$out/hostile.list"
    LD_LIBRARY_PATH=$fake timed "$samples/hostile" "$tool" --no-cache -j 2 --files-from "$out/hostile.list" -o /dev/null
    hostile_rss=$(cat "$samples/hostile.rss")
    hostile_result="$(printf '%.3f' "$(cat "$samples/hostile.wall")") s, peak RSS $hostile_rss KiB (target < 102400: $(verdict "$hostile_rss" "<" 102400))"
fi

# Real-sized files (SIZES=1): each file alone, with this build and (BASELINE) an earlier one,
# and the worker of old against the process per file on all of them.
sizes_result=()
if [ "${SIZES:-0}" = 1 ]; then
    sizes_dir=$out/sizes
    bash "$here/make-sizes.sh" "$sizes_dir" >/dev/null
    mapfile -t sized < <(find "$sizes_dir" -maxdepth 1 -type f -name 'h264-*' | LC_ALL=C sort -V)
    for f in "${sized[@]}"; do
        name=$(basename "$f")
        for ((r = 0; r < runs; ++r)); do
            timed "$samples/size-$name" "$tool" --no-cache "$f"
            [ -n "${BASELINE:-}" ] && timed "$samples/base-$name" "$BASELINE/bin/kqmediareport" "$f"
        done
        line=$(printf '%-22s %6s MB  this build %.3f s' "$name" "$(($(stat -c %s "$f") >> 20))" "$(median <"$samples/size-$name.wall")")
        if [ -n "${BASELINE:-}" ]; then
            line+=$(printf ', baseline %.3f s, ratio %s' "$(median <"$samples/base-$name.wall")" \
                "$(ratio "$(median <"$samples/size-$name.wall")" "$(median <"$samples/base-$name.wall")")")
        fi
        sizes_result+=("$line")
    done
    "$file_process" --rounds "$runs" "${sized[@]}" >"$samples/per-file-sized"
    sized_one=$(awk '/^one process/ { print $(NF - 3) }' "$samples/per-file-sized" | median)
    sized_file=$(awk '/^file process/ { print $(NF - 3) }' "$samples/per-file-sized" | median)
    sizes_result+=("per file over these, worker of old $sized_one ms, process per file $sized_file ms: $(ratio "$sized_file" "$sized_one") (target <= 1.05: $(verdict "$(ratio "$sized_file" "$sized_one")" "<=" 1.05))")
fi
load_end=$(cut -d' ' -f1-3 /proc/loadavg)

one_vs_minimal=$(ratio "${wall[0]}" "${wall[2]}")
speedup=$(ratio "${wall[0]}" "${wall[1]}")
mediainfo_vs_two=$(ratio "${wall[3]}" "${wall[1]}")
{
    echo "KQ Media Information Checker benchmark, $(date -u '+%Y-%m-%d %H:%M:%S UTC')"
    echo "machine: $(nproc) CPUs; load average at start: $load_start"
    echo "corpus: $nfiles files in $corpus; $runs runs each, timed with /usr/bin/time"
    echo "build: $build"
    echo
    printf '%-24s %10s %10s %14s\n' program "median s" "cpu s" "peak RSS KiB"
    for i in 0 1 2 3 4; do
        printf '%-24s %10.3f %10.3f %14s\n' "${names[i]}" "${wall[i]}" "${cpu[i]}" "${rss[i]}"
    done
    echo
    echo "ratios of the medians, and (in brackets) the median of the ratios within a round:"
    echo "one worker / minimal reader:  $one_vs_minimal ($(median <"$samples/vsminimal")) (each file in a process of its own: see below)"
    echo "one worker / two workers:     $speedup ($(median <"$samples/speedup")), target >= 1.7: $(verdict "$speedup" ">=" 1.7)"
    echo "    (the machine's ceiling, minimal reader / two at once on halves: $(ratio "${wall[2]}" "${wall[4]}") ($(median <"$samples/ceiling")))"
    echo "mediainfo / two workers:      $mediainfo_vs_two ($(median <"$samples/vsmediainfo")), target >= 1.3: $(verdict "$mediainfo_vs_two" ">=" 1.3)"
    echo "per file (ms, medians of $runs rounds): worker of old $one_process, process per file $file_process_ms, bare fork, exit and wait $bare_fork"
    overhead=$(awk -v a="$file_process_ms" -v b="$one_process" 'BEGIN { printf "%.3f", a - b }')
    echo "    overhead of a process per file: $overhead ms, target <= the bare fork ($bare_fork ms): $(verdict "$overhead" "<=" "$bare_fork")"
    echo "one file, kqmediareport / mediainfo: $single_ratio ($(printf '%.3f' "$(median <"$samples/single-tool.wall")") s against $(printf '%.3f' "$(median <"$samples/single-mediainfo.wall")") s), target <= 1.9: $(verdict "$single_ratio" "<=" 1.9)"
    echo "largest replies behind a slow file, 400 files, two workers: $hostile_result"
    for line in "${sizes_result[@]}"; do echo "real-sized: $line"; done
    echo "$large_files-file report: $(printf '%.3f' "$large_wall") s, peak RSS $large_rss KiB, target < 102400 KiB: $(verdict "$large_rss" "<" 102400)"
    echo "one hanging file among 100 slow ones, two workers: $hang_result"
    base_per_file=$(awk -v w="$(cat "$samples/scale3000.wall")" 'BEGIN { printf "%.4f", 1000 * w / 3000 }')
    for n in "${scale_sizes[@]}"; do
        per_file=$(awk -v w="$(cat "$samples/scale$n.wall")" -v n="$n" 'BEGIN { printf "%.4f", 1000 * w / n }')
        rss=$(cat "$samples/scale$n.rss")
        echo "$n paths, two workers: $(printf '%.2f' "$(cat "$samples/scale$n.wall")") s, $per_file ms per file ($(ratio "$per_file" "$base_per_file") of 3,000's, target <= 1.10: $(verdict "$(ratio "$per_file" "$base_per_file")" "<=" 1.10)), peak RSS $rss KiB (target < 102400: $(verdict "$rss" "<" 102400))"
    done
    echo "first byte of a 30,000-path report on standard output: $first_byte s"
    echo "merge: $merge_result"
    echo "cache: $cache_result"
    xml_wall=$(median <"$samples/form-xml.wall")
    for form in csv json; do
        form_wall=$(median <"$samples/form-$form.wall")
        echo "$form against xml, $nfiles files, two workers: $(printf '%.3f' "$form_wall") s against $(printf '%.3f' "$xml_wall") s, $(ratio "$form_wall" "$xml_wall") (target <= 1.05: $(verdict "$(ratio "$form_wall" "$xml_wall")" "<=" 1.05))"
        rss=$(cat "$samples/scale$largest-$form.rss")
        echo "$largest paths in $form, two workers: $(printf '%.2f' "$(cat "$samples/scale$largest-$form.wall")") s, peak RSS $rss KiB (target < 102400: $(verdict "$rss" "<" 102400))"
    done
    echo "window: $window_result"
    echo "load average at end: $load_end"
} | tee "$out/results.txt"
