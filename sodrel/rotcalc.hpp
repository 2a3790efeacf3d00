// The cut-down level stage of sodrel: the blocks of J = jmax - 1 and J = jmax
// only, and the verdict of the cutoff test on their highest level.
#pragma once

#include "kelvane/run/run_args.hpp"

namespace sodrel {

// Prints the tau=, jmax= and emax lines (and the blocks of J <= 2) and ends
// the run by throwing: process::stop_run with "too large contribution from
// emax" when jmax is too small for temp and nslice, the bare stop when it
// suffices (or the other stops and failures of the level stage).
[[noreturn]] void rotcalc(const kelvane::run_args& args);

}  // namespace sodrel
