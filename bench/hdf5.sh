#!/bin/bash
# The full density table for water (temp 10, nslice 128, iodevn -1, jmax 25,
# --fourier, 181 planes) as text files and as one HDF5 table (--hdf5), and
# beside them the floor: the same bytes written by one dd.
#  1. kelvane --fourier (724 text files, 2.64 GB) and kelvane --fourier
#     --hdf5 (one table), RUNS runs each, alternating, so that both see the
#     same machine; wall time and peak resident memory;
#  2. dd of the text's bytes and of the table's bytes into one file each;
#  3. kelvane-export of the whole table back to the 724 text files;
#  4. with kelvane-mpi built: the same table from 2 ranks of 1 thread (rank 0
#     writes what both compute) against the text files of 2 ranks.
# Each run starts after sync, in an emptied folder; medians of wall time,
# peak resident memory from /usr/bin/time (of mpirun's own process for the
# MPI runs, so not compared).
#
#   bench/hdf5.sh [BUILD_DIR] [RUNS] [FOLDER]    (default: build, 3, a new folder under /tmp)
#
# Note the load average printed first: other work on the machine shows in
# the times, and so does the writing back of earlier runs' files.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/timing.sh"
build=$(cd "${1:-build}" && pwd)
runs=${2:-3}
work=${3:-$(mktemp -d)}
mkdir -p "$work"
trap 'rm -rf "$work"/rho.den* "$work"/table.h5* "$work"/floor.* "$work"/time.txt' EXIT
cd "$work"
args="10 128 -1 0 180 27.877 14.512 9.285 25"
text_bytes=2641867397
bench_outputs='rho.den* table.h5 floor.*'

# dd_bytes BYTES: the floor, one dd of that many bytes into one file
dd_bytes() { dd if=/dev/zero of=floor.all bs=1M count=$(($1 / 1048576)) status=none; }

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores, folder $work ($(df -h . | awk 'NR == 2 { print $1 }'))"
"$build/bin/kelvane" --fourier --hdf5 table.h5 $args >/dev/null
table_bytes=$(stat -c %s table.h5)
rm -f table.h5
mpi=
[ -x "$build/bin/kelvane-mpi" ] && command -v mpirun >/dev/null && mpi=yes
launcher=(mpirun --oversubscribe -np 2 -x KELVANE_THREADS=1)
[ "$(id -u)" = 0 ] && launcher+=(--allow-run-as-root)

results=$(mktemp)
for r in $(seq "$runs"); do
    time_run text "$build/bin/kelvane" --fourier $args >>"$results"
    time_run table "$build/bin/kelvane" --fourier --hdf5 table.h5 $args >>"$results"
    time_shell dd_text dd_bytes $text_bytes >>"$results"
    time_shell dd_table dd_bytes "$table_bytes" >>"$results"
    rm -f floor.*
    "$build/bin/kelvane" --fourier --hdf5 table.h5 $args >/dev/null
    time_peak export "$build/bin/kelvane-export" table.h5 >>"$results"
    if [ -n "$mpi" ]; then
        time_run mpi_text "${launcher[@]}" "$build/bin/kelvane-mpi" --fourier $args >>"$results"
        time_run mpi_table "${launcher[@]}" "$build/bin/kelvane-mpi" --fourier --hdf5 table.h5 $args >>"$results"
    fi
done
echo "text $text_bytes bytes, table $table_bytes bytes ($(echo "scale=3; $table_bytes / $text_bytes" | bc) of the text)"
echo "medians of $runs runs (wall s, peak MB):"
for label in text table dd_text dd_table export mpi_text mpi_table; do
    grep -q "^$label " "$results" || continue
    wall=$(awk -v l=$label '$1 == l { print $2 }' "$results" | median)
    rss=$(awk -v l=$label '$1 == l { print $3 }' "$results" | median)
    printf '  %-10s %8.2f s  %7.1f MB   (runs: %s)\n' "$label" "$wall" "$rss" \
        "$(awk -v l=$label '$1 == l { printf "%s ", $2 }' "$results")"
done
t=$(awk '$1 == "text" { print $2 }' "$results" | median)
h=$(awk '$1 == "table" { print $2 }' "$results" | median)
echo "  --fourier --hdf5 takes $(echo "scale=2; $h / $t" | bc) of the time of --fourier writing text"
rm -f "$results"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
