#!/bin/sh
# Regenerates the text-module vectors in this folder with gfortran.
# Needs gfortran; the tests only read the files it writes.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
gfortran -O0 -o "$tmp/gen" "$here/gen_vectors.f90"
# Fortran type, width, decimals, value (IEEE bits in hex, or a decimal
# integer), then the field between bars.
"$tmp/gen" fixed > "$here/fixed_fields.txt"
# Items of the line, a tab, then the line.
"$tmp/gen" free | paste - - > "$here/free_format.txt"
# Input between bars, then for the real and the integer read: status
# (0 read, 1 error or end of text, 2 null value) and the value read.
"$tmp/gen" read < "$here/read_inputs.txt" > "$here/read_values.txt"
