#!/bin/bash
# The two scale runs of the level stage, wall time and peak resident memory
# from /usr/bin/time -v (and processor time, user + system, which other
# work on the machine disturbs less), median of RUNS runs each, and the one-thread QL
# comparison of levels_bench (built with -DKELVANE_BENCH=ON) when present.
#
#   bench/levels.sh [BUILD_DIR] [RUNS]     (default: build, 5 runs)
#
# Targets: kelvane under 5 s and 100 MB, sodrel under 0.2 s and 20 MB.
# Note the load average printed first: other work on the machine shows in
# the wall times.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/timing.sh"
build=$(cd "${1:-build}" && pwd)
runs=${2:-5}
args="10 128 -1 1 0 27.877 14.512 9.285 876"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
for program in kelvane sodrel; do
    : >"$work/wall"; : >"$work/rss"; : >"$work/cpu"
    for ((r = 0; r < runs; r++)); do
        (cd "$work" && /usr/bin/time -v "$build/bin/$program" $args >/dev/null 2>"$work/time") || true
        awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' \
            "$work/time" >>"$work/wall"
        awk -F': ' '/Maximum resident set size/ { print $2 / 1024 }' "$work/time" >>"$work/rss"
        awk -F': ' '/User time/ { u = $2 } /System time/ { s = $2 } END { print u + s }' "$work/time" >>"$work/cpu"
    done
    printf '%-8s %s: median wall %s s, processor %s s, peak RSS %s MB (%d runs)\n' "$program" "$args" \
        "$(median <"$work/wall")" "$(median <"$work/cpu")" "$(median <"$work/rss")" "$runs"
done

if [ -x "$build/bin/levels_bench" ]; then
    "$build/bin/levels_bench" 300 "$runs"
fi
