#!/bin/sh
# Writes the expected standard output, standard error and exit status of
# every case in kelvane.cases and sodrel.cases by running the programs of a
# verified build:  tests/data/levels/make.sh BUILD_DIR/bin
# Each run happens in an empty temporary folder.
set -eu
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
for program in kelvane sodrel; do
  mkdir -p "$here/$program"
  grep -v '^#' "$here/$program.cases" | while IFS='|' read -r name args; do
    work=$(mktemp -d)
    rc=0
    (cd "$work" && eval "\"$bin/$program\" $args" >"$here/$program/$name.out" 2>"$here/$program/$name.err") || rc=$?
    echo "$rc" >"$here/$program/$name.rc"
    rm -rf "$work"
  done
done
