// The cut-down level stage of sodrel: the blocks of J = jmax - 1 and J = jmax
// only, and the verdict of the cutoff test on their highest level.
#pragma once

#include "kelvane/run_args.hpp"

namespace sodrel {

// Prints the tau=, jmax= and emax lines (and the blocks of J <= 2) and ends
// the program: with "too large contribution from emax" when jmax is too small
// for temp and nslice, silently when it suffices.
[[noreturn]] void rotcalc(const kelvane::run_args& args);

}  // namespace sodrel
