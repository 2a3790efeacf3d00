#!/bin/bash
# Full density tables for water (temp 10, nslice 128, iodevn -1) with the
# Fourier-series evaluation (--fourier) against the default term-by-term
# evaluation, and what the time is spent on:
#  1. the full 181-plane table at jmax 25, both ways, RUNS runs each,
#     alternating, so that both see the same machine;
#  2. the full table at jmax 60 with --fourier;
#  3. one-plane runs at jmax 60 with --fourier (planes 90 and 0);
#  4. the floor: the same 724 files of the same sizes (2.6 GB) written by
#     cat into the same folder, and the 2.6 GB as one file by one dd;
#  5. series_bench: one plane by both evaluations at jmax 25 and 60 (built with
#     -DKELVANE_BENCH=ON).
# Each run starts after sync, in an emptied folder; medians of wall time,
# peak resident memory from /usr/bin/time.
#
#   bench/fourier.sh [BUILD_DIR] [RUNS] [FOLDER]    (default: build, 3, a new folder under /tmp)
#
# Note the load average printed first: other work on the machine shows in
# the times, and so does the writing back of earlier runs' files.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${2:-3}
work=${3:-$(mktemp -d)}
mkdir -p "$work"
trap 'rm -rf "$work"/rho.den* "$work"/floor.* "$work"/source.* "$work"/time.txt' EXIT
cd "$work"
water="27.877 14.512 9.285"

# time_run LABEL COMMAND...: one run in an empty folder; prints "LABEL wall rss_MB"
time_run() {
    local label=$1
    shift
    rm -f rho.den* floor.*
    sync
    /usr/bin/time -f '%e %M' -o time.txt "$@" >/dev/null
    echo "$label $(awk '{ printf "%s %.1f", $1, $2 / 1024 }' time.txt)"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# The floor: the same 724 files of the same sizes copied by cat from two
# sources already in memory, and the 2.6 GB as one file by one dd.
head -c 8340544 /dev/zero >"$work/source.combined"
head -c 2085136 /dev/zero >"$work/source.single"
floor_files() {
    for p in $(seq -w 0 180); do
        cat source.combined >floor.$p
        for s in rho eng esq; do cat source.single >floor.${p}_$s; done
    done
}
floor_one_file() { dd if=/dev/zero of=floor.all bs=14595952 count=181 status=none; }

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores, folder $work ($(df -h . | awk 'NR == 2 { print $1 }'))"
results=$(mktemp)
for r in $(seq "$runs"); do
    time_run "default25" "$build/bin/kelvane" 10 128 -1 0 180 $water 25 >>"$results"
    time_run "fourier25" "$build/bin/kelvane" --fourier 10 128 -1 0 180 $water 25 >>"$results"
    time_run "fourier60" "$build/bin/kelvane" --fourier 10 128 -1 0 180 $water 60 >>"$results"
    time_run "plane90_60" "$build/bin/kelvane" --fourier 10 128 -1 90 90 $water 60 >>"$results"
    time_run "plane0_60" "$build/bin/kelvane" --fourier 10 128 -1 0 0 $water 60 >>"$results"
    rm -f rho.den*
    sync
    start=$(date +%s.%N)
    floor_files
    echo "floor_cat $(echo "$(date +%s.%N) - $start" | bc) 0" >>"$results"
    rm -f floor.*
    sync
    start=$(date +%s.%N)
    floor_one_file
    echo "floor_dd $(echo "$(date +%s.%N) - $start" | bc) 0" >>"$results"
done
echo "medians of $runs runs (wall s, peak MB):"
for label in default25 fourier25 fourier60 plane90_60 plane0_60 floor_cat floor_dd; do
    wall=$(awk -v l=$label '$1 == l { print $2 }' "$results" | median)
    rss=$(awk -v l=$label '$1 == l { print $3 }' "$results" | median)
    printf '  %-11s %8.2f s  %7.1f MB   (runs: %s)\n' "$label" "$wall" "$rss" \
        "$(awk -v l=$label '$1 == l { printf "%s ", $2 }' "$results")"
done
d=$(awk '$1 == "default25" { print $2 }' "$results" | median)
f=$(awk '$1 == "fourier25" { print $2 }' "$results" | median)
echo "  jmax 25 full table: --fourier is $(echo "scale=1; $d / $f" | bc)x faster than the default"
rm -f "$results" rho.den* floor.*

if [ -x "$build/bin/series_bench" ]; then
    for jmax in 25 60; do "$build/bin/series_bench" "$jmax" "$runs" 90; done
fi
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
