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
// double inputs (levels, vectors, Boltzmann factors, weights, the trusted
// Wigner values of the plane, the grid angles), and each block sum is
// rounded to double once: it is then the nearest double to the exact sum of
// those inputs but for an error of order 1e-30 times the sum of the absolute
// values of the terms.  The cosines and sines of K x are those of the exact
// product of K and the double angle x (exact in binary128 for K < 2^11),
// each computed on its own, never by a reflection of another angle.
//
// Every element of every step has a fixed sequence of operations, so the
// work can be split over any number of workers by the index ranges below
// (levels by J, rows of F, groups of chi columns, groups of points) and the
// results do not change; the vector paths give the bits of the baseline.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "kelvane/density/density_kernel.hpp"
#include "kelvane/density/euler_grid.hpp"
#include "kelvane/density/level_plan.hpp"
#include "routines/wigner/plane_tables.hpp"

namespace kelvane {

// ---- K classes ------------------------------------------------------------------
// The K values of one parity within |K| <= jtop: K = klo + 2i, i < count; the
// rows of F are K1 = k1_low + 2r >= 0, r < rows (k1_low 0 for even K, 1 for
// odd).
struct series_k_class {
    int k1_low = 0;
    int klo = 0;
    int count = 0;
    int rows = 0;
};
series_k_class series_class(int jtop, parity par);

// ---- Cosines and sines of K x (once per run) ----------------------------------
// Points share an instruction in groups of series_lanes chi columns; the
// columns of the reduced region (ichi 0..90) are padded to series_chi_width.
inline constexpr int series_lanes = 8;
inline constexpr int series_chi_width = 96;
inline constexpr int series_column_groups = series_chi_width / series_lanes;
inline constexpr int series_angles = plane_side;   // x = grid_angle(i), i = 0..360

// cos(K x) and sin(K x), K = 0..kmax, in the kept double-double form (hi, lo
// and the halves of hi): by_angle[(i (kmax+1) + K) 8 + p] with p 0..3 the
// cosine and 4..7 the sine, for the phi of a row; by_chi[(K 8 + p) 96 + i]
// the same values for i < 96, the chi of the lanes.
struct series_angle_table {
    int kmax = -1;
    std::vector<double> by_angle;
    std::vector<double> by_chi;
};
// Sets kmax, at least the top J of every block evaluated, and the storage;
// then the angles i in [first, end), in any order and on any thread.
void reserve_series_angles(series_angle_table& t, int kmax);
void fill_series_angles(series_angle_table& t, int first, int end);

// ---- Level coefficients Q (once per run, per block) ---------------------------
// Q_m^J(K1, K2) of the levels a block plan keeps (its Boltzmann factors), as
// double-double (hi, lo); symmetric, so only k1 <= k2 is kept: block J at
// value[start[J] + 2 (m n (n + 1) / 2 + k1 (2n - k1 + 1) / 2 + k2 - k1)], n
// the block's order and k the position of K in the block.
struct series_coefficients {
    parity par = parity::even;
    int jtop = -1;                      // that of the plan
    std::vector<std::int64_t> start;    // jmax + 2
    std::vector<std::uint8_t> kept;     // per J: 1 where the plan keeps a level
    std::vector<double> value;
};
void reserve_series_coefficients(series_coefficients& q, int jmax, parity par);
// Takes the plan's top J and which J keep levels; then the blocks J in
// [jfirst, jend) in any order and on any thread.
void begin_series_coefficients(series_coefficients& q, const block_plan& plan);
void fill_series_coefficients(series_coefficients& q, const block_plan& plan, int jfirst, int jend);

// ---- One plane of one block ---------------------------------------------------
// folded[((r 3 + m) count + i2) 4]: F_m(K1, K2), K1 = parity + 2r, K2 = klo + 2 i2;
// columns[((m rows + r) 8 + p) 96 + ichi]: C_m (p 0..3) and S_m (p 4..7).
struct series_plane_block {
    parity par = parity::even;
    series_k_class k;
    std::vector<double> folded;
    std::vector<double> columns;
};
// Per plane, in this order: begin (one thread), then the rows of F, then
// (once every row is done) the column groups, then (once both blocks' columns
// are done) the groups of points; each step in ranges on any number of
// workers.
void reserve_series_plane(series_plane_block& b, int jmax, parity par);
void begin_series_plane(series_plane_block& b, const series_coefficients& q);
// F of the rows [row_first, row_end) from the plane's Wigner block table of
// the same parity (wigner_plane::block(0, parity) onwards), filled up to the
// top J of the coefficients.
void fold_series_rows(series_plane_block& b, const series_coefficients& q, const double* wigner,
                      int row_first, int row_end);
// C and S of the column groups [group_first, group_end) (8 columns each).
void fill_series_columns(series_plane_block& b, const series_angle_table& angles, int group_first,
                         int group_end, simd_path path);

// ---- Points -------------------------------------------------------------------
// The reduced region in groups of up to 8 points of one row iphi, columns
// ichi .. ichi + count - 1, ichi a multiple of 8; ordinal is the region
// position (evaluation order) of the first.  Listed column band by column
// band, so that consecutive groups read the same columns of C and S.
struct series_point_group {
    std::int16_t iphi, ichi, count;
    std::int32_t ordinal;
};
std::vector<series_point_group> list_series_groups();

struct series_block_sums { double r, u, v; };

struct series_setup {
    int iodevn;
    const series_plane_block* even;   // null when not evaluated
    const series_plane_block* odd;
    const series_angle_table* angles;
};

// The block sums of every point of the groups, each rounded to double once,
// and rhopro, erotpr, erotsq from them by combine_blocks; written at the
// points' region positions.  even_sums and odd_sums may be null; a block
// that is not evaluated has zero sums.
void finish_series_groups(const series_setup& setup, std::span<const series_point_group> groups,
                          double* rho, double* eng, double* esq, series_block_sums* even_sums,
                          series_block_sums* odd_sums, simd_path path);

// ---- A run and a plane on one thread ------------------------------------------
struct series_run {
    series_angle_table angles;
    series_coefficients even, odd;
    bool has_even = false, has_odd = false;
    std::vector<series_point_group> groups;
};
struct series_plane {
    series_plane_block even, odd;
};

// Storage for a run up to jmax, and its size in bytes (run and one plane);
// the plans given to make_series_run are of a jmax no larger.
void reserve_series(series_run& run, series_plane& plane, int jmax);
std::size_t series_bytes(int jmax);

// The run's tables from the plans of the evaluated blocks (null otherwise).
void make_series_run(series_run& run, const block_plan* even, const block_plan* odd);

// A whole plane from its Wigner block tables: values (and, where not null,
// block sums) in region order.
void evaluate_series_plane(const series_run& run, series_plane& plane, const routines::wigner_plane& wigner,
                           int iodevn, double* rho, double* eng, double* esq,
                           series_block_sums* even_sums, series_block_sums* odd_sums, simd_path path);

}  // namespace kelvane
