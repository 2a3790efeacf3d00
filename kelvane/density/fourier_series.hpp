// The density, energy and energy-square sums of a theta plane as a
// two-dimensional Fourier series in phi and chi.
//
// For one K block (even or odd K) and moment m = 0, 1, 2 (density R, energy
// U, energy square V), the block sum at (theta, phi, chi) is
//
//   R_m = sum_J w_J sum_i b_i E_i^m sum_{K1,K2} c_i(K1) c_i(K2) d^J_{K1K2}(theta) cos(K1 phi + K2 chi),
//
// over the levels i that pass the weight cut, w_J = (2J+1)/(8 pi^2),
// b_i = exp(-tau E_i).  Regrouped:
//
//   Q_m^J(K1, K2) = w_J sum_i b_i E_i^m c_i(K1) c_i(K2)          once per run,
//   F_m(K1, K2)   = sum_J d^J_{K1K2} Q_m^J(K1, K2)
//                 + sum_J d^J_{-K1,-K2} Q_m^J(-K1, -K2)           once per plane, K1 >= 0
//                   (the pair (-K1, -K2) has the same cosine, so it is folded
//                   onto (K1, K2); the row K1 = 0 is kept whole),
//   C_m(K1, chi)  = sum_K2 F_m(K1, K2) cos(K2 chi),
//   S_m(K1, chi)  = sum_K2 F_m(K1, K2) sin(K2 chi)                 per chi column,
//   R_m(phi, chi) = sum_{K1>=0} cos(K1 phi) C_m(K1, chi) - sin(K1 phi) S_m(K1, chi)
//                                                                   per point.
//
// A point then costs two products per row K1 and moment, some 6 jmax for
// both blocks, instead of some sum_J n^3.  The
// regrouped sum is the same real number, not the same sequence of roundings,
// so every step is carried in double-double (double_double.hpp) from the
// double inputs (levels, vectors, Boltzmann factors, weights, the Wigner
// values of the plane, the grid angles), and each block sum is
// rounded to double once: it is then the nearest double to the exact sum of
// those inputs but for an error of order 1e-30 times the sum of the absolute
// values of the terms.  The cosines and sines of K x are those of the exact
// product of K and the double angle x (exact in binary128 for K < 2^11); an
// angle past 180 degrees is taken as the negated angle 360 - x, whose cosine
// and sine are exact reflections, so that the plane is exactly symmetric.
// The Wigner values are the plane's three-term values
// (routines/wigner/three_term.hpp), each within a unit in the last place of
// the exact d^J at the double angle, for the pairs of one parity up to the
// top J of each block's plan.
//
// Every element of every step has a fixed sequence of operations, so the
// work is split over the workers by index ranges (levels by J, rows of F,
// groups of chi columns, groups of points) and the results do not change
// with their number; the vector paths give the bits of the baseline.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kelvane/density/euler_grid.hpp"
#include "kelvane/density/level_plan.hpp"
#include "kelvane/density/plane_evaluator.hpp"

namespace kelvane {

class fourier_series_evaluator final : public plane_evaluator {
public:
    explicit fourier_series_evaluator(const evaluation_settings& s) : settings_(s) {}
    // Takes (or counts) the storage of the settings' jmax.
    void reserve(routines::storage& s);

    void plan(const rotlev& levels, double tau) override;
    wigner_tables wigner_needs() const override { return {routines::wigner_method::three_term, settings_.jtop}; }
    std::array<int, 2> wigner_tops() const override { return plan_tops(plans_, settings_.blocks); }
    void evaluate(const routines::wigner_plane& wigner, region_values& out, plane_progress& progress) override;

    // cos(K x) and sin(K x), K = 0..kmax, in the kept double-double form (hi,
    // lo and the halves of hi): by_angle[(i (jmax+1) + K) 8 + p] with p 0..3
    // the cosine and 4..7 the sine, for the phi of a row; by_chi[(K 8 + p) 96
    // + i] the same values for i < 96, the chi of the lanes.
    struct angle_table {
        int kmax = -1;
        std::vector<double> by_angle;
        std::vector<double> by_chi;
    };
    // Q_m^J(K1, K2) of the levels a block plan keeps, as double-double (hi,
    // lo); symmetric, so only k1 <= k2 is kept: block J at
    // value[start[J] + 2 (m n (n + 1) / 2 + k1 (2n - k1 + 1) / 2 + k2 - k1)],
    // n the block's order and k the position of K in the block.
    struct coefficients {
        parity par = parity::even;
        int jtop = -1;                      // that of the plan
        std::vector<std::int64_t> start;    // jmax + 2
        std::vector<std::uint8_t> kept;     // per J: 1 where the plan keeps a level
        std::vector<double> value;
    };
    // One plane of one block: folded[((r 3 + m) count + i2) 4] holds
    // F_m(K1, K2), K1 = k1_low + 2r, K2 = klo + 2 i2, in the kept form;
    // columns[((m rows + r) 8 + p) 96 + ichi] C_m (p 0..3) and S_m (p 4..7).
    struct plane_block {
        parity par = parity::even;
        k_class k;
        std::vector<double> folded;
        std::vector<double> columns;
    };
    // The reduced region in groups of up to 8 points of one row iphi,
    // columns ichi .. ichi + count - 1, ichi a multiple of 8; ordinal is the
    // region position of the first.  Listed column band by column band, so
    // that consecutive groups read the same columns of C and S.
    struct point_group {
        std::int16_t iphi, ichi, count;
        std::int32_t ordinal;
    };

private:
    evaluation_settings settings_;
    block_plans plans_;
    angle_table angles_;
    coefficients even_q_, odd_q_;
    plane_block even_, odd_;
    std::vector<point_group> groups_;
};

}  // namespace kelvane
