// The calculation of a kelvane run: levels of the whole basis, the cutoff
// test, the thermodynamic report, then the requested theta planes.
#pragma once

#include "kelvane/density/plane_progress.hpp"
#include "kelvane/run/run_args.hpp"

namespace kelvane {

// The report goes to standard output, the planes' progress to progress; the
// levels and planes are computed on up to `threads` threads, with the same
// results for any count.  Stops and failures are thrown to the caller.
void rotcalc(const run_args& args, int threads, plane_progress& progress);

}  // namespace kelvane
