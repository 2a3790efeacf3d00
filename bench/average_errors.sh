#!/bin/bash
# The cost of the error analysis of average: `average --errors --blocking 0`
# against the plain report `average 0` on the same page-cached energy file of
# about 100 MB (ten numbers per line written as "(10E18.9)", correlated over
# some ten records as a simulation's are).
#
#   bench/average_errors.sh [BIN_DIR] [RUNS]     (default: build/bin, 7 runs)
#
# The two commands run alternately RUNS times; the report gives the medians of
# the wall time and of the processor time (user + system) and their ratio
# (error analysis / plain; the issue asks for at most 1.3).  The file is made
# once in $AVERAGE_BENCH_DIR/errors (default /tmp/average-bench) and kept.
set -euo pipefail
bin=$(cd "${1:-build/bin}" && pwd)
runs=${2:-7}
dir=${AVERAGE_BENCH_DIR:-/tmp/average-bench}/errors
mkdir -p "$dir"
records=550000

if [ ! -s "$dir/wd.eng" ] || [ "$(wc -l < "$dir/wd.eng")" -ne "$records" ]; then
    awk -v n="$records" 'BEGIN {
        srand(4242)
        pi = 3.141592653589793
        for (k = 1; k <= 10; k++) x[k] = 0
        for (i = 0; i < n; i++) {
            line = ""
            for (k = 1; k <= 10; k++) {
                # x = 0.9 x + e: tau_int about 10 records
                u = 1 - rand(); e = sqrt(-2 * log(u)) * cos(2 * pi * rand())
                x[k] = 0.9 * x[k] + e
                v = 1000 * k + x[k]
                s = v < 0 ? "-" : " "; a = v < 0 ? -v : v
                ex = int(log(a) / log(10)) + 1; m = a / 10 ^ ex
                if (m >= 1) { m /= 10; ex++ }
                if (m < 0.1) { m *= 10; ex-- }
                t = sprintf("%.9f", m)
                if (t == "1.000000000") { t = "0.100000000"; ex++ }
                line = line sprintf("%18s", sprintf("%s%sE%s%02d", s, t, ex < 0 ? "-" : "+", ex < 0 ? -ex : ex))
            }
            print line
        }
    }' > "$dir/wd.eng"
fi

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

cd "$dir"
bytes=$(stat -c %s wd.eng)
TIMEFORMAT='%3R %3U %3S'
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
"$bin/average" 0 > /dev/null   # into the page cache
: > plain.times; : > errors.times
for ((r = 0; r < runs; r++)); do
    { time "$bin/average" 0 > /dev/null; } 2>> plain.times
    { time "$bin/average" --errors --blocking 0 > /dev/null 2>&1; } 2>> errors.times
done
wp=$(awk '{ print $1 }' plain.times | median); we=$(awk '{ print $1 }' errors.times | median)
cp=$(awk '{ print $2 + $3 }' plain.times | median); ce=$(awk '{ print $2 + $3 }' errors.times | median)
awk -v n="$records" -v b="$bytes" -v runs="$runs" -v wp="$wp" -v we="$we" -v cp="$cp" -v ce="$ce" 'BEGIN {
    printf "%d records, %.1f MB, medians of %d runs\n", n, b / 1e6, runs
    printf "    wall:      plain %7.3f s   --errors --blocking %7.3f s   ratio %.3f\n", wp, we, we / wp
    printf "    processor: plain %7.3f s   --errors --blocking %7.3f s   ratio %.3f\n", cp, ce, ce / cp
}'
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
