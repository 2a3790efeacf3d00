// Wigner small-d elements d^j_{m'm}(beta) = <j m'| exp(-i beta J_y) |j m> by
// the explicit finite sum over k: factorials as double-precision log-gamma
// sums, everything from the half angle on in binary128, one rounding to
// double at the end.
#pragma once

#include <quadmath.h>

#include <span>
#include <vector>

namespace routines {

// The small-d element for integer j >= 0; m' (mp) is the row, m the column.
// Exactly 0.0 when |m| > j or |mp| > j.
double wigd(int j, int mp, int m, double beta);

// The same values, bit for bit, from tables that one polar angle shares:
//   lnf[x]      = lgamma(x + 1), x = 0..2 jtop,
//   cos_pow[e]  = cos(beta/2)^e, nsin_pow[e] = (-sin(beta/2))^e, e = 0..2 jtop,
// each computed by the very call wigd makes, so a table entry is the value the
// call would have returned.  Valid for 0 <= j <= jtop.
struct wigd_tables {
    std::span<const double> lnf;
    std::span<const __float128> cos_pow;
    std::span<const __float128> nsin_pow;
};

// Sizes of the spans for a given jtop.
inline std::size_t wigd_lnf_size(int jtop) { return static_cast<std::size_t>(2 * jtop + 1); }
inline std::size_t wigd_pow_size(int jtop) { return static_cast<std::size_t>(2 * jtop + 1); }

// lnf does not depend on the angle; fill it once.
void fill_wigd_lnf(int jtop, std::span<double> lnf);
void fill_wigd_powers(int jtop, double beta, std::span<__float128> cos_pow,
                      std::span<__float128> nsin_pow);

// Owned tables for one polar angle, filled on construction, for callers that
// evaluate a few values at an angle rather than a whole plane.
struct wigd_angle_tables {
    std::vector<double> lnf;
    std::vector<__float128> cos_pow, nsin_pow;
    wigd_angle_tables(int jtop, double beta)
        : lnf(wigd_lnf_size(jtop)), cos_pow(wigd_pow_size(jtop)), nsin_pow(wigd_pow_size(jtop))
    {
        fill_wigd_lnf(jtop, lnf);
        fill_wigd_powers(jtop, beta, cos_pow, nsin_pow);
    }
    wigd_tables view() const { return {lnf, cos_pow, nsin_pow}; }
};

// wigd(j, mp, m, beta) from the tables.  When abs_sum is not null it receives
// the sum of the absolute values of the terms, accumulated beside the sum in
// the same order without touching it: the size against which the rounding of
// the log-factorials is to be judged.
double wigd_tabulated(int j, int mp, int m, const wigd_tables& t, __float128* abs_sum = nullptr);

// The angle enters the series only through the two powers, so the rest of
// each term, sigma_k exp(P - D_k), can be kept for every angle of a run.
// wigd_term_count gives the number of terms (0 outside the projection
// range), fill_wigd_factors writes them in k order (lnf as above), and
// wigd_from_factors finishes the sum with the powers of one angle: the same
// value, bit for bit, as wigd and wigd_tabulated.
int wigd_term_count(int j, int mp, int m);
void fill_wigd_factors(int j, int mp, int m, std::span<const double> lnf, __float128* factors);
double wigd_from_factors(int j, int mp, int m, const __float128* factors,
                         std::span<const __float128> cos_pow, std::span<const __float128> nsin_pow,
                         __float128* abs_sum = nullptr);

}  // namespace routines
