#!/bin/bash
# Density tables for water (iodevn -1) with the Fourier-series evaluation
# (--fourier), on the run's default thread count, and what bounds them:
#  1. full 181-plane tables at temp 10, nslice 128 and jmax 25, 40, 60, ..., 200
#     and 45 (the jmax sodrel --accuracy 1e-8 gives there; 20 fails the
#     cutoff test there), with the time per plane (wall time over 181);
#  2. one-plane runs at jmax 100, theta 1 and 90 degrees;
#  3. the floor: the same 724 files of the same sizes (2.6 GB) written by cat
#     into the same folder, and the 2.6 GB as one file by one dd;
#  each of these RUNS times, one after another in every round, so that all
#  see the same machine;
#  4. one-plane runs at temp 40, nslice 512 (every level of the basis kept)
#     and jmax 150, 200 and 300, once each;
#  5. with --default, the full table at jmax 25 by the default evaluation too
#     (some 40 s a run);
#  6. series_bench (built with -DKELVANE_BENCH=ON): one plane on one thread,
#     the Wigner values and the evaluation apart, at jmax 20, 40, ..., 200.
# With BASELINE=/path/to/an/earlier/kelvane in the environment, that
# program's --fourier runs of the full tables at jmax 45 and 100 and the
# plane at jmax 100, theta 1, join every round as the baseline.
# Each run starts after sync, in an emptied folder; medians of wall time,
# peak resident memory from /usr/bin/time.
#
#   bench/fourier.sh [--default] [BUILD_DIR] [RUNS] [FOLDER]
#                    (default: build, 3, a new folder under /tmp)
#
# Note the load average printed first and last: other work on the machine
# shows in the times, and so does the writing back of earlier runs' files.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/timing.sh"
with_default=0
if [ "${1:-}" = "--default" ]; then
    with_default=1
    shift
fi
build=$(cd "${1:-build}" && pwd)
runs=${2:-3}
work=${3:-$(mktemp -d)}
mkdir -p "$work"
trap 'rm -rf "$work"/rho.den* "$work"/floor.* "$work"/source.* "$work"/time.txt' EXIT
cd "$work"
water="27.877 14.512 9.285"
kelvane="$build/bin/kelvane"
bench_outputs='rho.den* floor.*'

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
full_jmax="25 40 45 60 80 100 120 140 160 180 200"
labels="$(for jmax in $full_jmax; do printf 'full%s ' $jmax; done)plane1_100 plane90_100 floor_cat floor_dd"
for r in $(seq "$runs"); do
    for jmax in $full_jmax; do
        time_run "full$jmax" "$kelvane" --fourier 10 128 -1 0 180 $water $jmax >>"$results"
    done
    if [ -n "${BASELINE:-}" ]; then
        time_run "baseline_full45" "$BASELINE" --fourier 10 128 -1 0 180 $water 45 >>"$results"
        time_run "baseline_full100" "$BASELINE" --fourier 10 128 -1 0 180 $water 100 >>"$results"
        time_run "baseline_plane1_100" "$BASELINE" --fourier 10 128 -1 1 1 $water 100 >>"$results"
    fi
    time_run "plane1_100" "$kelvane" --fourier 10 128 -1 1 1 $water 100 >>"$results"
    time_run "plane90_100" "$kelvane" --fourier 10 128 -1 90 90 $water 100 >>"$results"
    time_shell floor_cat floor_files >>"$results"
    time_shell floor_dd floor_one_file >>"$results"
done
[ -n "${BASELINE:-}" ] && labels="$labels baseline_full45 baseline_full100 baseline_plane1_100"
for jmax in 150 200 300; do
    time_run "plane90_40K_$jmax" "$kelvane" --fourier 40 512 -1 90 90 $water $jmax >>"$results"
done
labels="$labels plane90_40K_150 plane90_40K_200 plane90_40K_300"
if [ $with_default = 1 ]; then
    for r in $(seq "$runs"); do
        time_run "default25" "$kelvane" 10 128 -1 0 180 $water 25 >>"$results"
    done
    labels="$labels default25"
fi
echo "medians of $runs runs (wall s, peak MB):"
for label in $labels; do
    wall=$(awk -v l=$label '$1 == l { print $2 }' "$results" | median)
    rss=$(awk -v l=$label '$1 == l { print $3 }' "$results" | median)
    per_plane=""
    case $label in full* | baseline_full*) per_plane=$(printf '%6.1f ms a plane' "$(echo "1000 * $wall / 181" | bc -l)") ;; esac
    printf '  %-16s %8.2f s  %7.1f MB  %s  (runs: %s)\n' "$label" "$wall" "$rss" "$per_plane" \
        "$(awk -v l=$label '$1 == l { printf "%s ", $2 }' "$results")"
done
rm -f "$results" rho.den* floor.*

if [ -x "$build/bin/series_bench" ]; then
    echo "one plane (theta 90) on one thread, Wigner values and evaluation, medians of $runs:"
    for jmax in 20 40 60 80 100 120 140 160 180 200; do
        "$build/bin/series_bench" "$jmax" "$runs" 90 2>&1 | awk -v j=$jmax '/series plan/ { print "  jmax " j ": " $0 }'
    done
fi
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
