// The density stage of a run: the theta planes ithe1..ithe2 of rho, the energy
// estimator and the energy-square estimator, each plane computed, completed by
// symmetry and written to its four files before the next one is started.
#pragma once

#include <memory>

#include "kelvane/density/plane_progress.hpp"
#include "kelvane/levels/rotlev.hpp"
#include "kelvane/levels/run_args.hpp"

namespace kelvane {

class plane_stage;
struct plane_stage_deleter { void operator()(plane_stage*) const; };
using plane_stage_ptr = std::unique_ptr<plane_stage, plane_stage_deleter>;

// Obtains all storage the planes will need, for evaluation on `threads`
// threads.  Called before anything is printed, so that a run whose storage
// cannot be had ends (run_failure, saying how much it needed) before it
// writes anything.  Null when the run asks for no plane (ithe1 > ithe2).
plane_stage_ptr reserve_plane_stage(const run_args& args, int threads);

// Once per run, after the level stage: the levels each plane sums over.
void plan_levels(plane_stage& stage, const run_args& args, const rotlev& levels, double tau);

// Plane ithe (0..180) computed and its four files written under temporary
// names, renamed into place once complete; the header goes into plane 0.
// The files and standard output are the same for any thread count.  A
// failure ends the run (run_failure) with the files of earlier planes intact
// and no file of this plane left behind.
void write_plane(plane_stage& stage, const run_args& args, int ithe, plane_progress& progress);

// kelvane's plane loop: plan_levels, then write_plane for ithe1..ithe2; an
// index past the grid ends the run once the planes before it are written,
// with the line "weird ithe" and the index (bare stop).
void run_planes(plane_stage& stage, const run_args& args, const rotlev& levels, double tau,
                plane_progress& progress);

// ---- A plane's values, for tests ---------------------------------------

// Computes plane ithe without writing it.
void compute_plane(plane_stage& stage, const run_args& args, int ithe, plane_progress& progress);

// The values of the plane computed last, for cell iphi * 361 + ichi.
struct plane_cell_values { double rho, eng, esq; };
plane_cell_values plane_cell(const plane_stage& stage, int cell);

// compute_plane in two steps, for looking at a few cells of a plane without
// evaluating all of it: the Wigner values of plane ithe, then the values that
// compute_plane would give cell iphi * 361 + ichi, bit for bit (those of the
// evaluated point the symmetry copies bring there), for the term-by-term
// evaluation.
void fill_plane_wigner(plane_stage& stage, int ithe);
plane_cell_values evaluate_plane_cell(plane_stage& stage, const run_args& args, int cell);

}  // namespace kelvane
