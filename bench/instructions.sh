#!/bin/sh
# Instructions per call of every benchmark of a program that matches a
# filter, counted by valgrind's callgrind, which does not depend on the
# machine's load.  Each case runs twice in a process of its own, with 1 and
# with 1 + N iterations of its timed loop (MERROW1_BENCH_ITERATIONS, read by
# bench/peak_memory.h's configure), and the difference of the two totals over
# N is one call: the set-up, the reference areas and the loading cancel out.
# Prints one line per case, its instructions per call and, for a peer's line
# (clipper, boost, cgal), merrow1's count of the same case divided by the
# peer's.
#   bench/instructions.sh build-bench/bench/offset_bench 'chain_offset/star_lines/outward/(10|1000)/' [N]
# N defaults to 5.  Meant for the small cases (n <= 1000): a call runs some
# 50 times slower under callgrind.
set -eu
program=$1
filter=${2:-.}
extra=${3:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Total instructions of one run with the given iteration count.
count() {
    MERROW1_BENCH_ITERATIONS=$2 valgrind --tool=callgrind --callgrind-out-file="$work/out" \
        "$program" --benchmark_filter="^$1(/iterations:[0-9]+)?\$" </dev/null >/dev/null 2>&1
    awk '/^(summary|totals):/ { print $2; exit }' "$work/out"
}

"$program" --benchmark_list_tests=true --benchmark_filter="$filter" | while read -r name; do
    one=$(count "$name" 1)
    more=$(count "$name" $((1 + extra)))
    echo "$name $(( (more - one) / extra ))"
done | awk '
    { per[$1] = $2; base = $1; sub(/[^\/]*$/, "", base); lib = substr($1, length(base) + 1) }
    lib ~ /^(clipper|boost|cgal)$/ && (base "merrow1") in per && $2 > 0 {
        printf "%-70s %14d  merrow1/%s %.3f\n", $1, $2, lib, per[base "merrow1"] / $2; next }
    { printf "%-70s %14d\n", $1, $2 }'
