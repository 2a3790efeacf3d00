#!/bin/bash
# kelvane's theta planes for water (temp 10, nslice 128, iodevn -1):
#  1. one plane (ithe 90) at jmax 25, fast stage against the straightforward
#     evaluation built the same way, median of RUNS runs (the literal side
#     takes some 40 s a run);
#  2. one plane at jmax 10, 20, 30, 40 with 1 thread and with the default
#     thread count;
#  3. a full table (planes 0..180) at jmax 25: wall time and peak resident
#     memory from /usr/bin/time -v.
# planes_bench is built with -DKELVANE_BENCH=ON.
#
#   bench/planes.sh [BUILD_DIR] [RUNS]     (default: build, 3 runs)
#
# Note the load average printed first: other work on the machine shows in
# the times.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${2:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
KELVANE_THREADS=1 "$build/bin/planes_bench" 25 "$runs" 90 -1 literal
"$build/bin/planes_bench" 25 "$runs" 90 -1
for jmax in 10 20 30 40; do
    KELVANE_THREADS=1 "$build/bin/planes_bench" "$jmax" "$runs" 90 -1 2>&1 | sed 's/^/1 thread:  /'
    "$build/bin/planes_bench" "$jmax" "$runs" 90 -1 2>&1 | sed "s/^/$(nproc) threads: /"
done
rm -f rho.den*
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
/usr/bin/time -v "$build/bin/kelvane" 10 128 -1 0 180 27.877 14.512 9.285 25 >/dev/null 2>time.txt
awk -F': ' '/Elapsed \(wall clock\)/ { print "full table, jmax 25: wall " $2 }
            /Maximum resident set size/ { printf "full table, jmax 25: peak RSS %.1f MB\n", $2 / 1024 }' time.txt
echo "files: $(ls rho.den* | wc -l), $(du -sh . | cut -f1)"
