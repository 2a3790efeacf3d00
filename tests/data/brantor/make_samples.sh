#!/bin/sh
# Sampled lines of a full scan ("fort.33" and "fort.44"), as written by an
# independent implementation of the scan and kept in the conformance cases of
# the project's shared folder.  Each line is "<line number><TAB><line>".
# Run once from this folder with the path of that case; the copies are
# committed so that the tests need nothing outside the repository.
set -eu
case_dir=${1:?usage: make_samples.sh CONFORMANCE_CASE_DIR (brantor-full-scan)}
cp "$case_dir/samples/fort.33" fort.33.samples
cp "$case_dir/samples/fort.44" fort.44.samples
chmod 644 fort.33.samples fort.44.samples
