#!/bin/bash
# Throughput of average on page-cached energy files of ten numbers per line
# written as "(10E18.9)", against `cat wd.eng > /dev/null` on the same file.
#
#   bench/average.sh [BIN_DIR] [RUNS]     (default: build/bin, 7 runs)
#
# For each file size (1e5 and 1e7 records) it times RUNS runs of cat and of
# average 0, alternating, and reports medians of the wall time and of the
# processor time (user + system).  average reads the file twice,
# so one pass takes half of its time; the figures below are per pass:
#   MB/s       = file size / (median time / 2)
#   ratio      = cat's median time / (average's median time / 2)
#                (1 means a pass reads as fast as cat; above 1, faster)
# The files (about 18 MB and 1.8 GB) are made once in $AVERAGE_BENCH_DIR
# (default /tmp/average-bench) and left there for later runs.
set -euo pipefail
bin=$(cd "${1:-build/bin}" && pwd)
runs=${2:-7}
dir=${AVERAGE_BENCH_DIR:-/tmp/average-bench}
mkdir -p "$dir"

# 1000 distinct lines in the E18.9 layout (0.ddddddddd, two-digit exponent),
# repeated to the size wanted.
make_file() {   # make_file RECORDS PATH
    local block="$dir/block.txt"
    if [ ! -s "$block" ]; then
        awk 'BEGIN {
            srand(12345)
            for (i = 0; i < 1000; i++) {
                line = ""
                for (k = 0; k < 10; k++) {
                    v = (rand() - 0.5) * 10 ^ int(rand() * 8 - 2)
                    s = v < 0 ? "-" : " "; a = v < 0 ? -v : v
                    e = (a == 0) ? 0 : int(log(a) / log(10)) + 1
                    m = a / 10 ^ e
                    if (m >= 1) { m /= 10; e++ }
                    if (m < 0.1 && a != 0) { m *= 10; e-- }
                    t = sprintf("%.9f", m)
                    if (t == "1.000000000") { t = "0.100000000"; e++ }
                    field = sprintf("%sE%s%02d", s t, e < 0 ? "-" : "+", e < 0 ? -e : e)
                    line = line sprintf("%18s", field)
                }
                print line
            }
        }' > "$block"
    fi
    local copies=$(( $1 / 1000 ))
    if [ ! -s "$2" ] || [ "$(wc -l < "$2")" -ne "$1" ]; then
        : > "$2"
        for ((c = 0; c < copies; c++)); do cat "$block"; done > "$2"
    fi
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
column() { awk -v k="$1" '{ print $k }' "$2" | median; }

TIMEFORMAT='%3R %3U %3S'
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for records in 100000 10000000; do
    work="$dir/$records"
    mkdir -p "$work"
    make_file "$records" "$work/wd.eng"
    bytes=$(stat -c %s "$work/wd.eng")
    cd "$work"
    cat wd.eng > /dev/null; "$bin/average" 0 > /dev/null   # into the page cache
    : > cat.times; : > average.times
    for ((r = 0; r < runs; r++)); do
        { time cat wd.eng > /dev/null; } 2>> cat.times
        { time "$bin/average" 0 > /dev/null; } 2>> average.times
    done
    # wall time, and processor time (user + system) which a loaded machine
    # disturbs less
    tc=$(column 1 cat.times); ta=$(column 1 average.times)
    cc=$(awk '{ print $2 + $3 }' cat.times | median); ca=$(awk '{ print $2 + $3 }' average.times | median)
    awk -v n="$records" -v b="$bytes" -v tc="$tc" -v ta="$ta" -v cc="$cc" -v ca="$ca" -v runs="$runs" 'BEGIN {
        mb = b / 1e6
        printf "%9d records, %7.1f MB, medians of %d runs\n", n, mb, runs
        printf "    wall:      cat %8.3f s %6.0f MB/s   average %8.3f s   per pass %5.0f MB/s   ratio to cat %.2f\n",
               tc, mb / tc, ta, mb / (ta / 2), tc / (ta / 2)
        if (cc > 0)
            printf "    processor: cat %8.3f s %6.0f MB/s   average %8.3f s   per pass %5.0f MB/s   ratio to cat %.2f\n",
                   cc, mb / cc, ca, mb / (ca / 2), cc / (ca / 2)
        else
            printf "    processor: cat %8.3f s             average %8.3f s   per pass %5.0f MB/s\n", cc, ca, mb / (ca / 2)
    }'
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
