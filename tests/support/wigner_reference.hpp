// The straightforward forms of the Wigner small-d values, which the tables
// of a plane (routines/wigner) are held to in the tests and the benchmarks:
//  - wigd, the explicit sum exactly as the routine is stated: lgamma and
//    powq at every term, written out here on its own, independent of the
//    production series;
//  - the series of one element from the tables of its angle, every term in
//    k order, with the absolute sum of its terms and the series' bound;
//    from kept factors too;
//  - the recursion's whole matrix d^j;
//  - the trusted plane: every element the full series with its bound, the
//    recursion where the bound is not below the limit; no screen, no terms
//    left out, no kept factors, one thread.
#pragma once

#include <quadmath.h>

#include <cstddef>
#include <span>
#include <vector>

#include "routines/wigner/series.hpp"

namespace wigner_reference {

using routines::wigner::angle_tables;

// A polar angle of whole degrees as the programs form it: (deg pi) / 180.
inline double radians(int degrees) { return (degrees * 3.141592653589793) / 180; }

// d^j_{m'm}(beta), m' (mp) the row, m the column; exactly 0.0 when |m| > j
// or |m'| > j.
double wigd(int j, int mp, int m, double beta);

// The tables of one polar angle, owned (routines::wigner::angle_tables).
struct wigd_angle_tables {
    std::vector<double> lnf;
    std::vector<__float128> cos_pow, nsin_pow;
    wigd_angle_tables(int jtop, double beta);
    angle_tables view() const { return {lnf, cos_pow, nsin_pow}; }
};

// wigd's value from the tables of its angle, which must cover j.  abs_sum,
// when not null, receives the sum of the absolute values of the terms,
// accumulated beside the sum in the same order: the size against which the
// rounding of the log-factorials is to be judged.
double wigd_tabulated(int j, int mp, int m, const angle_tables& t, __float128* abs_sum = nullptr);

// The series value and its bound (routines::wigner::series_bound), from the
// tables of the angle or from beta alone.
double wigd_recipe_bound(int j, int mp, int m, const angle_tables& t, double& bound);
double wigd_recipe_bound(int j, int mp, int m, double beta, double& bound);

// The angle-independent factors of an element's terms, in k order
// (routines::wigner::series_terms::factor; series_terms(j, mp, m).count() of
// them), and the series finished from them with the powers of one angle:
// wigd_tabulated's value and absolute sum, bit for bit.
void fill_wigd_factors(int j, int mp, int m, std::span<const double> lnf, __float128* factors);
double wigd_from_factors(int j, int mp, int m, const __float128* factors, const angle_tables& t,
                         __float128* abs_sum = nullptr);

// The factors of every element of a plane's table up to jmax (of the pairs
// with K1 - K2 even alone, with same_parity_only), made once and kept for
// all the angles of a run.
struct plane_factors {
    int jmax;
    std::vector<__float128> factors;
    std::vector<std::size_t> start;   // by plane_at
    plane_factors(int jmax, bool same_parity_only);
    const __float128* of(int j, int k1, int k2) const;
};

// The whole d^j(beta) from the recursion, stored column by column: element
// (m', m) at matrix_at(j, m', m).  d holds (2j+1)^2 values, work
// routines::wigner::sweep_work_size(j).
void wigd_accurate_matrix(int j, double beta, std::span<double> d, std::span<double> work);
inline std::size_t matrix_at(int j, int mp, int m)
{
    return static_cast<std::size_t>(mp + j) + static_cast<std::size_t>(m + j) * static_cast<std::size_t>(2 * j + 1);
}

// Every pair of a plane's table, (J, K1, K2) with J fastest: plane_size(jmax)
// entries, element (J, K1, K2) at plane_at(jmax, J, K1, K2).
inline std::size_t plane_size(int jmax)
{
    const auto side = static_cast<std::size_t>(2 * jmax + 1);
    return static_cast<std::size_t>(jmax + 1) * side * side;
}
inline std::size_t plane_at(int jmax, int j, int k1, int k2)
{
    return static_cast<std::size_t>(j) +
           static_cast<std::size_t>(jmax + 1) *
               (static_cast<std::size_t>(k1 + jmax) + static_cast<std::size_t>(2 * jmax + 1) * (k2 + jmax));
}

// The trusted values of every J <= jmax at beta, the limit being
// limit_for(jmax): t covers jmax and is filled at beta; work holds
// sweep_work_size(jmax) values.  Entries with |K1| > J or |K2| > J are not
// written; with same_parity_only, neither are those with K1 - K2 odd.  The
// series from the kept factors when factors is not null (the same bits, a
// faster yardstick for many planes).
void wigd_trusted_plane(int jmax, double beta, const angle_tables& t, std::span<double> plane,
                        std::span<double> work, bool same_parity_only, const plane_factors* factors = nullptr);

}  // namespace wigner_reference
