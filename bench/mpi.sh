#!/bin/bash
# kelvane-mpi against kelvane on this machine, for water at temp 10, nslice
# 128, iodevn -1:
#  1. a table (planes ITHE1..ITHE2, default all 181) at jmax 25, the smallest
#     basis sodrel passes: kelvane with its default thread count against
#     kelvane-mpi on 2 ranks of 1 thread; the two alternate, RUNS runs each,
#     and the medians and their ratio are printed;
#  2. what the estimate for large runs needs, on one thread, for each of
#     JMAXES: the processor time of the level stage alone, of a run of one
#     plane (ithe 90) and of a run of two (ithe 90, 91), whose difference is
#     the cost of a further plane; and the bytes of one plane's four files.
# Needs a build with MPI (kelvane-mpi in BUILD_DIR/bin).
#
#   bench/mpi.sh [BUILD_DIR] [RUNS] [ITHE1] [ITHE2] [JMAXES]
#   (defaults: build, 3, 0, 180, "25 40 60"; ITHE1 > ITHE2 skips part 1)
#
# The load average is printed before each part: other work on the machine
# shows in the times.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/timing.sh"
build=$(cd "${1:-build}" && pwd)
runs=${2:-3}
ithe1=${3:-0}
ithe2=${4:-180}
jmaxes=${5:-25 40 60}
water="27.877 14.512 9.285"
launch=(mpirun --oversubscribe)
[ "$(id -u)" -eq 0 ] && launch+=(--allow-run-as-root)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Wall seconds of one command, its files removed afterwards.
wall() {
    local t0 t1
    t0=$(date +%s.%N)
    "$@" >/dev/null
    t1=$(date +%s.%N)
    rm -f rho.den*
    calc "$t1 - $t0"
}
calc() { awk "BEGIN { printf \"%.3f\n\", $1 }"; }
# Processor seconds (user + system) of one command, its files removed
# afterwards: on a loaded machine they vary far less than wall time.
cpu() {
    /usr/bin/time -f "%U %S" -o cpu.txt "$@" >/dev/null
    rm -f rho.den*
    calc "$(awk '{ print $1 + $2 }' cpu.txt)"
}

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
planes=$((ithe2 - ithe1 + 1))
if [ "$planes" -gt 0 ]; then
    : >serial.txt
    : >mpi.txt
    for ((r = 1; r <= runs; r++)); do
        wall "$build/bin/kelvane" 10 128 -1 "$ithe1" "$ithe2" $water 25 >>serial.txt
        KELVANE_THREADS=1 wall "${launch[@]}" -x KELVANE_THREADS -np 2 "$build/bin/kelvane-mpi" \
            10 128 -1 "$ithe1" "$ithe2" $water 25 >>mpi.txt
    done
    s=$(median <serial.txt)
    m=$(median <mpi.txt)
    echo "planes $ithe1..$ithe2 ($planes), jmax 25, medians of $runs runs:"
    echo "  kelvane, $(nproc) threads:          $s s   (runs: $(tr '\n' ' ' <serial.txt))"
    echo "  kelvane-mpi, 2 ranks x 1 thread: $m s   (runs: $(tr '\n' ' ' <mpi.txt))"
    echo "  ratio mpi / serial: $(calc "$m / $s")"
    echo "  per plane: kelvane $(calc "$s / $planes") s, kelvane-mpi $(calc "$m / $planes") s"
fi

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
for jmax in $jmaxes; do
    for what in levels one two; do : >"$what.txt"; done
    for ((r = 1; r <= runs; r++)); do
        for what in "levels 91 90" "one 90 90" "two 90 91"; do
            set -- $what
            KELVANE_THREADS=1 cpu "$build/bin/kelvane" 10 128 -1 "$2" "$3" $water "$jmax" >>"$1.txt"
        done
    done
    l=$(median <levels.txt)
    o=$(median <one.txt)
    t=$(median <two.txt)
    echo "jmax $jmax, 1 thread, processor seconds, medians of $runs runs: levels $l, run of 1 plane $o," \
         "of 2 planes $t; further plane $(calc "$t - $o"), first plane beyond it $(calc "$o - $l - ($t - $o)")"
done
"$build/bin/kelvane" 10 128 -1 90 90 $water 25 >/dev/null
echo "bytes of one plane's files: $(cat rho.den090* | wc -c)"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
