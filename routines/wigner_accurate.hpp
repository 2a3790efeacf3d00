// Wigner small-d values that can be trusted at every J.
//
// The explicit series of wigd sums terms of alternating sign whose absolute
// sum grows roughly like 2^j, while the double-precision log-factorials give
// every term a relative error near 1e-15: past j of about 17 the cancellation
// eats the digits, and near beta = pi/2 the value is lost entirely by j = 50.
// Here the series is kept wherever its own error bound shows it is good, so
// that ordinary runs stay bit-identical, and every other value comes from a
// recursion in j that is stable at every j (wigner_accurate.cpp).
//
// Matrices are d^j(beta) stored column by column: element (m', m) at
// (m' + j) + (m + j) (2j + 1), m' the row (bra), m the column (ket).
#pragma once

#include <quadmath.h>

#include <cstddef>
#include <span>

#include "routines/wigd.hpp"

namespace routines {

// ---- The series and its own error bound ----------------------------------------

// The series value is kept where its bound is below a limit.  For a table
// of every J up to jmax <= 17 the limit is wigd_trust_limit, 1e-9, which the
// series meets at every whole-degree angle there, so runs whose basis stops at
// J = 17 keep the series' bits.  The densities of larger bases cancel so
// deeply (by up to 1e11 near theta = 90 at jmax 40) that a Wigner value off
// by 1e-11, as the series' are near J = 16 there, shows in their leading
// digits; their tables keep the series only where its bound is below
// wigd_strict_limit, 1e-12, and take everything else from the recursion.
inline constexpr double wigd_trust_limit = 1e-9;
inline constexpr int wigd_series_jmax = 17;
inline constexpr double wigd_strict_limit = 1e-12;
inline constexpr double wigd_limit_for(int jmax)
{
    return jmax <= wigd_series_jmax ? wigd_trust_limit : wigd_strict_limit;
}

// The error bound of a series value v = wigd(j, mp, m, beta) whose terms have
// the absolute sum abs_sum (as wigd_tabulated and wigd_from_factors return it):
//
//   bound = eps (P |v| + D abs_sum),   eps = 7 * 2^-53,
//
// P the halved prefactor log-factorial sum and D the larger of the
// denominator log-factorial sums D_k of the first and the last term, each
// summed from lnf as the series sums it; the whole in binary128, rounded to
// double.  The log-gamma function of the C library is within 2 ulp (relative
// 4 * 2^-53) on the integers the series uses, and each log-factorial sum
// rounds three times in double, so P and every D_k are off by at most eps
// times themselves.  The error of P scales every term alike, hence the sum;
// the error of D_k changes term k alone, by at most eps D_k of itself, and it
// is these errors that the cancellation amplifies.  D_k, a sum of logarithms
// of factorials of linear functions of k, is convex in k, so the end terms
// hold its largest value.  The bound is first order (its fractions stay below
// 1e-11 for every j up to 876) and leaves out the binary128 rounding and the
// final narrowing.  0 outside the projection range.
double wigd_series_bound(int j, int mp, int m, std::span<const double> lnf, double value,
                         __float128 abs_sum);

// A screen that settles most elements before any term of the series is
// formed, from lnf and three logarithms of the angle:
//  - The terms with their signs dropped are the element of the spin-j
//    representation of [[c, s], [s, c]] (c = cos(beta/2), s = sin(beta/2)),
//    whose norm is (c + s)^(2j), so abs_sum <= (1 + sin beta)^j; with
//    |v| <= abs_sum the bound is at most eps (P + D) (1 + sin beta)^j, and
//    below the limit the series is kept without its bound being summed.
//  - The terms are log-concave in k; the largest, estimated in double, gives
//    eps D |term| <= bound <= eps (P + D) n |term| for n terms.
// The estimates are good to a relative 1e-11 and a verdict is given only when
// it clears the limit by a relative 1e-6, so it never differs from the
// bound's; otherwise the answer is sum_with_bound.
struct wigd_screen {
    double log_c, log_s;     // log cos(beta/2), log sin(beta/2); -inf at 0
    double log_norm;         // log(1 + sin beta)
};
enum class wigd_verdict { series, recursion, sum_with_bound };

wigd_screen wigd_screen_of(double beta);
wigd_verdict wigd_screen_element(int j, int mp, int m, std::span<const double> lnf, const wigd_screen& screen,
                                 double limit);

// The series value, bit for bit that of wigd, and its bound.  The first form
// builds the tables of beta itself; the second takes those of one polar angle
// (see wigd_tabulated), which must cover j.
double wigd_recipe_bound(int j, int mp, int m, double beta, double& bound);
double wigd_recipe_bound(int j, int mp, int m, const wigd_tables& t, double& bound);

// ---- The stable recursion --------------------------------------------------------

// d^J(beta) for J = 0, 1, ..., jmax in turn, in storage the caller owns: work
// holds at least wigd_work_size(jmax) doubles and must stay untouched while
// the sweep is in use.  wigd_sweep_start leaves the sweep at J = 0,
// wigd_sweep_next moves it to J + 1 (J < jmax), and wigd_sweep_element reads
// d^J_{m'm} for |m'|, |m| <= J.  About 4 n^2 multiplications per half step n,
// (4/3) (2 jmax)^3 in all.
struct wigd_sweep {
    double* level[2];     // the last two levels of the half-step recursion
    double* q;            // sqrt(a/n) at level n
    double* q_rev;        // sqrt((n-a)/n)
    std::size_t ld;       // leading dimension of a level
    double c1, c0, s1, s0;   // cos(beta/2) = c1 - c0, sin(beta/2) = s1 - s0
    int jmax;
    int j;
};

std::size_t wigd_work_size(int jmax);
wigd_sweep wigd_sweep_start(int jmax, double beta, std::span<double> work);
void wigd_sweep_next(wigd_sweep& sweep);
double wigd_sweep_element(const wigd_sweep& sweep, int mp, int m);

// d^j_{m'm}(beta) to about 1e-14 absolute (measured: 2e-15) for every j up to
// 876.  Costs O(j^3) and allocates O(j^2) work: for many values at one beta
// use the sweep or the matrix and plane forms, which give the same bits.
double wigd_accurate(int j, int mp, int m, double beta);

// The whole d^j(beta).  d holds (2j+1)^2 values, work wigd_work_size(j).
void wigd_accurate_matrix(int j, double beta, std::span<double> d, std::span<double> work);

// ---- Trusted values ----------------------------------------------------------------

// The series value where its bound is below limit, the accurate value
// elsewhere.
double wigd_trusted(int j, int mp, int m, double beta, double limit = wigd_trust_limit);

// The whole trusted d^j(beta); t covers j and is filled at beta.  d holds
// (2j+1)^2 values, work wigd_work_size(j).
void wigd_trusted_matrix(int j, double beta, const wigd_tables& t, std::span<double> d,
                         std::span<double> work, double limit = wigd_trust_limit);

// Every trusted d^J(beta), J = 0..jmax, from one sweep: the Wigner table of one
// polar angle.  t covers jmax and is filled at beta.  plane holds
// (jmax+1)(2jmax+1)^2 values, element (J, K1, K2) at
//   J + (jmax+1) ((K1 + jmax) + (2jmax+1) (K2 + jmax)),
// J fastest.  Entries with |K1| > J or |K2| > J are not written; with
// same_parity_only, neither are those with K1 - K2 odd.  work holds
// wigd_work_size(jmax) values.  Each value has the bits of
// wigd_trusted(J, K1, K2, beta, wigd_limit_for(jmax)); the screen spares most of the bounds and
// the series of most values that the recursion supplies.
void wigd_trusted_plane(int jmax, double beta, const wigd_tables& t, std::span<double> plane,
                        std::span<double> work, bool same_parity_only);

}  // namespace routines
