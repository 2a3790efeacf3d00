#!/bin/bash
# Records, for the plane-writing runs of the conformance cases (expected
# outputs made by an independent, literal implementation), the command line
# and the SHA-256 of every file the run writes.  Run once by hand from this
# folder; the tests read only what it leaves here.
#   ./make.sh PATH/TO/conformance/cases
set -euo pipefail
cases=${1:?usage: make.sh CASES_DIR}
for c in kelvane-water-j4-planes0-1 kelvane-water-j8-plane90-even; do
    sed 's/^kelvane //' "$cases/$c/cmd" >"$c.args"
    cp "$cases/$c/files.sha256" "$c.sha256"
done
