// Planes through the program's own evaluations, for the tests and the
// benchmarks: the water run of given arguments, its levels by the level
// stage, an evaluation planned for them, the Wigner tables of a plane as the
// plane stage fills them, and the plane's reduced region.
#pragma once

#include <memory>
#include <span>

#include "kelvane/density/plane_evaluator.hpp"
#include "kelvane/levels/rotlev.hpp"
#include "kelvane/run/run_args.hpp"
#include "routines/wigner/plane_tables.hpp"

namespace kelvane::test_planes {

// Water (27.877, 14.512, 9.285 cm-1) at temp and nslice with the basis up
// to jmax, planes ithe..ithe.
run_args water(int jmax, double temp, int nslice, int iodevn = -1, int ithe = 90);

// The level set of the run by the level stage itself, quietly.
rotlev run_levels(const run_args& args);
double run_tau(const run_args& args);

// An evaluation of args' kind, block selection and jmax, planned for the
// levels at tau.
std::unique_ptr<plane_evaluator> planned(const run_args& args, const rotlev& levels, double tau, int threads = 1,
                                         simd_path path = best_simd_path());

// The Wigner tables of plane ithe that the evaluation reads, as the plane
// stage fills them.
void fill_tables(routines::wigner_plane& w, const plane_evaluator& e, int ithe, int threads = 1);

// The Wigner values of plane ithe by the given method as the plane stage
// fills them, every J up to jmax, in the straightforward layout of
// literal_wigner_plane, (J, K1, K2) with J fastest; pairs of mixed parity,
// which no block holds and no evaluation reads, are zero.  The table an
// evaluation reads, for the yardstick to evaluate the same sums from.
void wigner_table(routines::wigner_method method, int jmax, int ithe, std::span<double> wigtab);

// The reduced region of the plane whose tables are given, with the block
// sums of each point when asked.
region_values evaluate(plane_evaluator& e, const routines::wigner_plane& w, bool block_sums = false);

}  // namespace kelvane::test_planes
