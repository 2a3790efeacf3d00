#!/bin/bash
# Writes reports/NAME.out for every case of reports/cases.txt: the standard
# output of average_reference.f90 (the averaging written plainly in Fortran,
# with the runtime's list-directed reads) run on reports/NAME.eng as wd.eng.
# Run by hand where gfortran is installed; the tests read only the output.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
gfortran -O0 -ffp-contract=off -o "$work/reference" "$here/average_reference.f90"
grep -v '^#' "$here/reports/cases.txt" | while read -r name skip; do
    cp "$here/reports/$name.eng" "$work/wd.eng"
    (cd "$work" && ./reference "$skip") > "$here/reports/$name.out"
done
