// The density stage of a run: the theta planes of rho, the energy estimator
// and the energy-square estimator, each plane computed (its Wigner tables,
// then the evaluation of its reduced region), completed by symmetry,
// formatted and written to its four files before the next one is started.
#pragma once

#include <memory>

#include "kelvane/density/plane_progress.hpp"
#include "kelvane/levels/rotlev.hpp"
#include "kelvane/run/run_args.hpp"

namespace kelvane {

class plane_stage;
struct plane_stage_deleter { void operator()(plane_stage*) const; };
using plane_stage_ptr = std::unique_ptr<plane_stage, plane_stage_deleter>;

// Obtains all storage the planes of the run will need, evaluated as args
// asks on `threads` threads, summing the given blocks; the stage keeps what
// it needs of args (jmax, the evaluation, the header of plane 0).  Called
// before anything is printed, so that a run whose storage cannot be had ends
// (run_failure, saying how much it needed) before it writes anything.
plane_stage_ptr reserve_plane_stage(const run_args& args, block_selection blocks, int threads);

// Once per run, after the level stage: the levels each plane sums over.
void plan_levels(plane_stage& stage, const rotlev& levels, double tau);

// Plane ithe (0..180) computed and its four files written under temporary
// names, renamed into place once complete; the header goes into plane 0.
// The files and standard output are the same for any thread count.  A
// failure ends the run (run_failure) with the files of earlier planes intact
// and no file of this plane left behind.
void write_plane(plane_stage& stage, int ithe, plane_progress& progress);

}  // namespace kelvane
