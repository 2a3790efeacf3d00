// The density stage of a run: the theta planes ithe1..ithe2 of rho, the energy
// estimator and the energy-square estimator, each plane computed, completed by
// symmetry and written to its four files before the next one is started.
#pragma once

#include <memory>

#include "rotlev.hpp"
#include "run_args.hpp"

namespace kelvane {

class plane_stage;
struct plane_stage_deleter { void operator()(plane_stage*) const; };
using plane_stage_ptr = std::unique_ptr<plane_stage, plane_stage_deleter>;

// Obtains all storage the planes will need. Called on entry to rotcalc, before
// anything is printed, so that a run whose storage cannot be had ends (on
// standard error, exit status 2) before it writes anything.  Null when the run
// asks for no plane (ithe1 > ithe2).
plane_stage_ptr reserve_plane_stage(const run_args& args);

// Computes and writes the planes; called after the thermodynamic report.
void run_planes(plane_stage& stage, const run_args& args, const rotlev& levels, double tau);

}  // namespace kelvane
