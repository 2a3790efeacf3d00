# Timing helpers of the benchmark scripts, sourced by them:
#   . "$(dirname "${BASH_SOURCE[0]}")/timing.sh"
# They run under sh (dash) as well as bash, since brantor_bench.sh is an sh
# script; time_append alone needs bash's time keyword.

# median: the median of the numbers on standard input, one a line; of an even
# count the lower of the two middle ones, so that it is always a run's own
# figure, printed as that run gave it.
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Runs timed by time_run and time_shell start after sync, in a folder emptied
# of the files of earlier runs: those matching the patterns of $bench_outputs,
# which the script sets, so that no run pays for the last one's files.

# time_peak LABEL COMMAND...: one run of COMMAND after sync, its output
# discarded, in the folder as it is; prints "LABEL wall_s peak_MB" (wall time
# and peak resident memory from /usr/bin/time).
time_peak() {
    local label=$1
    shift
    sync
    /usr/bin/time -f '%e %M' -o time.txt "$@" >/dev/null
    echo "$label $(awk '{ printf "%s %.1f", $1, $2 / 1024 }' time.txt)"
}

# time_run LABEL COMMAND...: time_peak in the emptied folder.
time_run() {
    rm -f $bench_outputs
    time_peak "$@"
}

# time_shell LABEL COMMAND...: the wall time of a shell function (or any
# command) started as the runs are (neither waits for its files to reach the
# disk); prints "LABEL wall_s 0".
time_shell() {
    local label=$1 start
    shift
    rm -f $bench_outputs
    sync
    start=$(date +%s.%N)
    "$@"
    echo "$label $(echo "$(date +%s.%N) - $start" | bc) 0"
}

# time_append FILE COMMAND...: one run of COMMAND, its output and messages
# discarded; appends "wall user system" (seconds) to FILE.
time_append() {
    local file=$1 TIMEFORMAT='%3R %3U %3S'
    shift
    { time "$@" >/dev/null 2>&1; } 2>>"$file"
}

# Medians of a file of time_append's lines: of the wall time, and of the
# processor time (user + system), which a loaded machine disturbs less.
wall_median() { awk '{ print $1 }' "$1" | median; }
processor_median() { awk '{ print $2 + $3 }' "$1" | median; }
