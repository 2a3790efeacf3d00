#!/bin/sh
# Hand-run benchmark of brantor.  Usage: bench/brantor_bench.sh BUILD_DIR [RUNS]
#  1. the in-process timing of bench/brantor_scan_bench.cpp (literal loop,
#     scan on 1 and 2 threads), compiled here against BUILD_DIR's libraries
#     with the project's floating-point flags;
#  2. full runs of BUILD_DIR/bin/brantor in a scratch folder: median wall time
#     median CPU time (user + system) and median peak resident memory, on
#     all cores and pinned to one core.
# Timings on a shared machine are noisy: note the load printed at the start.
set -eu
build=$(cd "${1:?usage: brantor_bench.sh BUILD_DIR [RUNS]}" && pwd)
runs=${2:-9}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/timing.sh"
src=$(dirname "$here")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "load: $(cut -d' ' -f1-3 /proc/loadavg)  cores: $(nproc)"

g++ -std=gnu++20 -O2 -ffp-contract=off -fno-fast-math -I"$src" \
    "$here/brantor_scan_bench.cpp" "$build/brantor/libbrantor_core.a" "$build/textio/libtextio.a" \
    -pthread -o "$work/scan_bench"
"$work/scan_bench" "$runs"

full_runs() {  # $1: command prefix (may be empty)
    : > "$work/times"
    i=0
    while [ $i -lt "$runs" ]; do
        a=$(date +%s%N)
        (cd "$work" && /usr/bin/time -f "%M %U %S" -o "$work/one" $1 "$build/bin/brantor")
        b=$(date +%s%N)
        echo "$(( (b - a) / 1000000 ))e-3 $(cat "$work/one")" >> "$work/times"
        i=$((i + 1))
    done
    wall=$(cut -d' ' -f1 "$work/times" | median)
    rss=$(cut -d' ' -f2 "$work/times" | median)
    cpu=$(awk '{print $3 + $4}' "$work/times" | median)
    echo "wall ${wall} s  cpu ${cpu} s  peak RSS ${rss} kB  (median of $runs)"
}

printf 'full run, all cores:     '; full_runs ""
printf 'full run, one core:      '; full_runs "taskset -c 0"
sha256sum "$work/fort.33" "$work/fort.44" | sed "s|$work/||"
