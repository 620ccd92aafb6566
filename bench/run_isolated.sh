#!/bin/sh
# Runs every benchmark of a program that matches a filter in a process of its
# own, so that one library's heap does not slow the next one and the peak
# memory counters belong to one case.  Extra arguments go to each run.
#   bench/run_isolated.sh build-bench/bench/region_boolean_bench 'union/circles' --benchmark_repetitions=5
set -eu
program=$1
filter=${2:-.}
shift $(( $# >= 2 ? 2 : $# ))
"$program" --benchmark_list_tests=true --benchmark_filter="$filter" | while read -r name; do
    "$program" --benchmark_filter="^${name}\$" "$@" 2>/dev/null | grep "^${name}" || true
done
