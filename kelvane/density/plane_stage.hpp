// The density stage of a run: the theta planes of rho, the energy estimator
// and the energy-square estimator, each plane computed (its Wigner tables,
// then the evaluation of its reduced region) and handed, with the symmetry
// copies that complete it, to the run's output (plane_output.hpp) before the
// next one is started.
#pragma once

#include <memory>

#include "kelvane/density/plane_output.hpp"
#include "kelvane/density/plane_progress.hpp"
#include "kelvane/levels/rotlev.hpp"
#include "kelvane/run/run_args.hpp"

namespace kelvane {

class plane_stage;
struct plane_stage_deleter { void operator()(plane_stage*) const; };
using plane_stage_ptr = std::unique_ptr<plane_stage, plane_stage_deleter>;

// Obtains all storage the planes of the run will need, the output's
// included, evaluated as args asks on `threads` threads, summing the given
// blocks.  Called before anything is printed, so that a run whose storage
// cannot be had ends (run_failure, saying how much it needed) before it
// writes anything.
plane_stage_ptr reserve_plane_stage(const run_args& args, block_selection blocks, int threads, plane_output& output);

// Once per run, after the level stage: the levels each plane sums over.
void plan_levels(plane_stage& stage, const rotlev& levels, double tau);

// Plane ithe (0..180) computed and written to the output.  The values and
// standard output are the same for any thread count.  A failure ends the
// run (run_failure); what the output does with it is the output's.
void write_plane(plane_stage& stage, int ithe, plane_progress& progress, plane_output& output);

// The reduced region of plane ithe, computed elsewhere by the same
// evaluation (another rank of an MPI job), written to the output.
void write_computed_plane(const plane_stage& stage, int ithe, const region_values& values, plane_output& output);

}  // namespace kelvane
