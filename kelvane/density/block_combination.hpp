// The block sums of a point turned into the three tabulated values: the
// density rhopro, the energy estimator erotpr and the energy-square
// estimator erotsq, by the block selection.
#pragma once

#include <cmath>

#include "kelvane/density/level_plan.hpp"
#include "kelvane/run/run_args.hpp"

namespace kelvane {

struct point_values { double rho, eng, esq; };

// R, U, V of each block are the density and its first and second energy
// moments.  A block's estimators U/R and V/R are formed first and, with both
// blocks, multiplied back by R, so a block of vanishing R adds nothing to
// them; a vanishing total density zeroes both estimators.
inline point_values combine_blocks(block_selection blocks, double r_even, double u_even, double v_even, double r_odd,
                                   double u_odd, double v_odd)
{
    auto estimator = [](double s, double r) { return std::fabs(r) > density_cut ? s / r : 0.0; };
    if (!blocks.has(parity::odd)) return {r_even, estimator(u_even, r_even), estimator(v_even, r_even)};
    if (!blocks.has(parity::even)) return {r_odd, estimator(u_odd, r_odd), estimator(v_odd, r_odd)};
    const double e_even = estimator(u_even, r_even), q_even = estimator(v_even, r_even);
    const double e_odd = estimator(u_odd, r_odd), q_odd = estimator(v_odd, r_odd);
    const double rho = r_odd + r_even;
    if (std::fabs(rho) < density_cut) return {rho, 0.0, 0.0};
    return {rho, (e_odd * r_odd + e_even * r_even) / rho, (q_odd * r_odd + q_even * r_even) / rho};
}

}  // namespace kelvane
