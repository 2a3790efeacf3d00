// The density stage of a run: the theta planes ithe1..ithe2 of rho, the energy
// estimator and the energy-square estimator, each plane computed, completed by
// symmetry and written to its four files before the next one is started.
#pragma once

#include <memory>

#include "kelvane/rotlev.hpp"
#include "kelvane/run_args.hpp"

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
// The thread count comes from KELVANE_THREADS (default: the hardware's);
// the output is the same for any count.
void run_planes(plane_stage& stage, const run_args& args, const rotlev& levels, double tau);

// The steps of run_planes, so that any single plane can be computed and
// written on its own once the levels are planned:
//   plan_levels once, then per plane open_plane_files, compute_plane (which
//   prints the 361 progress lines), write_plane_files.
struct plane_files;
void plan_levels(plane_stage& stage, const run_args& args, const rotlev& levels, double tau);
void compute_plane(plane_stage& stage, const run_args& args, int ithe);
void write_plane_files(plane_stage& stage, plane_files& files, int ithe);

// The values of the plane in work, for cell iphi * 361 + ichi.
struct plane_cell_values { double rho, eng, esq; };
plane_cell_values plane_cell(const plane_stage& stage, int cell);

// compute_plane in two steps, for looking at a few cells of a plane without
// evaluating all of it: the Wigner values of plane ithe, then the values that
// compute_plane would give cell iphi * 361 + ichi, bit for bit (those of the
// evaluated point the symmetry copies bring there).
void fill_plane_wigner(plane_stage& stage, int ithe);
plane_cell_values evaluate_plane_cell(plane_stage& stage, const run_args& args, int cell);

}  // namespace kelvane
