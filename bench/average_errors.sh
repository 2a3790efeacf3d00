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
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/timing.sh"
bin=$(cd "${1:-build/bin}" && pwd)
runs=${2:-7}
dir=${AVERAGE_BENCH_DIR:-/tmp/average-bench}/errors
mkdir -p "$dir"
records=550000

if [ ! -s "$dir/wd.eng" ] || [ "$(wc -l < "$dir/wd.eng")" -ne "$records" ]; then
    awk -v n="$records" -f "$here/e18_9.awk" -f /dev/stdin > "$dir/wd.eng" <<'EOF'
BEGIN {
    srand(4242)
    pi = 3.141592653589793
    for (k = 1; k <= 10; k++) x[k] = 0
    for (i = 0; i < n; i++) {
        line = ""
        for (k = 1; k <= 10; k++) {
            # x = 0.9 x + e: tau_int about 10 records
            u = 1 - rand(); e = sqrt(-2 * log(u)) * cos(2 * pi * rand())
            x[k] = 0.9 * x[k] + e
            line = line e18_9(1000 * k + x[k])
        }
        print line
    }
}
EOF
fi

cd "$dir"
bytes=$(stat -c %s wd.eng)
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
"$bin/average" 0 > /dev/null   # into the page cache
: > plain.times; : > errors.times
for ((r = 0; r < runs; r++)); do
    time_append plain.times "$bin/average" 0
    time_append errors.times "$bin/average" --errors --blocking 0
done
wp=$(wall_median plain.times); we=$(wall_median errors.times)
cp=$(processor_median plain.times); ce=$(processor_median errors.times)
awk -v n="$records" -v b="$bytes" -v runs="$runs" -v wp="$wp" -v we="$we" -v cp="$cp" -v ce="$ce" 'BEGIN {
    printf "%d records, %.1f MB, medians of %d runs\n", n, b / 1e6, runs
    printf "    wall:      plain %7.3f s   --errors --blocking %7.3f s   ratio %.3f\n", wp, we, we / wp
    printf "    processor: plain %7.3f s   --errors --blocking %7.3f s   ratio %.3f\n", cp, ce, ce / cp
}'
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
