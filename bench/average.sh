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
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/timing.sh"
bin=$(cd "${1:-build/bin}" && pwd)
runs=${2:-7}
dir=${AVERAGE_BENCH_DIR:-/tmp/average-bench}
mkdir -p "$dir"

# 1000 distinct lines in the E18.9 layout (0.ddddddddd, two-digit exponent),
# repeated to the size wanted.
make_file() {   # make_file RECORDS PATH
    local block="$dir/block.txt"
    if [ ! -s "$block" ]; then
        awk -f "$here/e18_9.awk" -f /dev/stdin > "$block" <<'EOF'
BEGIN {
    srand(12345)
    for (i = 0; i < 1000; i++) {
        line = ""
        for (k = 0; k < 10; k++)
            line = line e18_9((rand() - 0.5) * 10 ^ int(rand() * 8 - 2))
        print line
    }
}
EOF
    fi
    local copies=$(( $1 / 1000 ))
    if [ ! -s "$2" ] || [ "$(wc -l < "$2")" -ne "$1" ]; then
        : > "$2"
        for ((c = 0; c < copies; c++)); do cat "$block"; done > "$2"
    fi
}

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
        time_append cat.times cat wd.eng
        time_append average.times "$bin/average" 0
    done
    tc=$(wall_median cat.times); ta=$(wall_median average.times)
    cc=$(processor_median cat.times); ca=$(processor_median average.times)
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
