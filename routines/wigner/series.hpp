// The explicit series of the Wigner small-d element, written once: its
// limits, prefactor and terms, its own error bound, the screen that settles
// most elements before any term is formed, and the sum that leaves out the
// terms that cannot change its double.
//
//   d^j_{m'm}(beta) = sum_k (-1)^k sqrt[(j+m)! (j-m)! (j+m')! (j-m')!]
//                           / [k! (j-m'-k)! (j+m-k)! (k+m'-m)!]
//                     cos(beta/2)^(2j+m-m'-2k) (-sin(beta/2))^(m'-m+2k),
//
// k from max(0, m - m') to min(j - m', j + m), m' (mp) the row, m the column.
// The factorials are double-precision log-gamma sums, everything from the
// half angle on is binary128, and the sum is rounded to double once at the
// end.  Each term is sigma_k exp(P - D_k) times two powers of the half
// angle: P the halved sum of the four prefactor log-factorials, D_k the sum
// of the four denominator ones, sigma_k = (-1)^k.
//
// The terms alternate in sign and their absolute sum grows roughly like 2^j,
// while the log-factorials give every term a relative error near 1e-15: past
// j of about 17 the cancellation eats the digits, and near beta = pi/2 the
// value is lost entirely by j = 50.  The series is therefore kept only where
// its bound says it is good; the recursion (recursion.hpp) supplies the rest.
#pragma once

#include <quadmath.h>

#include <algorithm>
#include <cstddef>
#include <span>

namespace routines::wigner {

// ---- The tables of one polar angle ------------------------------------------------

// lnf[x] = lgamma(x + 1), x = 0..2 jtop, and cos_pow[e] = cos(beta/2)^e,
// nsin_pow[e] = (-sin(beta/2))^e, e = 0..2 jtop, each powq with its
// exponent passed through double: every entry the value of the very call
// the straightforward sum of each term would make.  Valid for 0 <= j <= jtop.
struct angle_tables {
    std::span<const double> lnf;
    std::span<const __float128> cos_pow;
    std::span<const __float128> nsin_pow;
};

// The length of each of the three tables for a given jtop.
inline std::size_t angle_table_size(int jtop) { return static_cast<std::size_t>(2 * jtop + 1); }

// lnf does not depend on the angle: a run fills it once.
void fill_log_factorials(int jtop, std::span<double> lnf);
void fill_half_angle_powers(int jtop, double beta, std::span<__float128> cos_pow,
                            std::span<__float128> nsin_pow);

// ---- The terms of one element -------------------------------------------------------

struct series_screen;

struct series_terms {
    int j, mp, m;
    int kmin, kmax;   // the summation range; empty (kmax < kmin) outside the projection range

    series_terms(int j_, int mp_, int m_)
        : j(j_), mp(mp_), m(m_), kmin(std::max(0, m_ - mp_)), kmax(std::min(j_ - mp_, j_ + m_))
    {
    }

    // The number of terms, at most j + 1; 0 outside the projection range.
    int count() const { return kmax < kmin ? 0 : kmax - kmin + 1; }

    // ((L1 + L2) + L3) + L4 in double, L1..L4 = lnf(j + m), lnf(j - m),
    // lnf(j + m'), lnf(j - m'); P is half of it, taken in binary128: the
    // square root of the product of the four factorials, inside the
    // exponential so that nothing overflows.
    double prefactor_sum(const double* lnf) const { return ((lnf[j + m] + lnf[j - m]) + lnf[j + mp]) + lnf[j - mp]; }
    __float128 half_prefactor(const double* lnf) const
    {
        return static_cast<__float128>(prefactor_sum(lnf)) * 0.5Q;
    }
    // D_k = lnf(k) + ((lnf(j - m' - k) + lnf(j + m - k)) + lnf(k + m' - m)), in double.
    double denominator(const double* lnf, int k) const
    {
        return lnf[k] + ((lnf[j - mp - k] + lnf[j + m - k]) + lnf[k + mp - m]);
    }
    int cos_power(int k) const { return 2 * j + m - mp - 2 * k; }
    int sin_power(int k) const { return mp - m + 2 * k; }
    // log |term k| estimated in double from the logarithms of its factors:
    // (half_p - D_k) + a log_c + b log_s, a and b the powers, each added only
    // when positive (a zero power of a zero cosine or sine is 1); half_p is
    // prefactor_sum / 2.  -inf for a term that is exactly zero.
    double log_magnitude(double half_p, const double* lnf, const series_screen& screen, int k) const;

    // sigma_k exp(P - D_k), the part of term k that does not depend on the
    // angle (a run may keep it for all its planes); p = half_prefactor.
    // sigma_k e with sigma_k = +-1 is exact, hence the same as a sign flip.
    __float128 factor(__float128 p, const double* lnf, int k) const
    {
        const __float128 e = expq(p - static_cast<__float128>(denominator(lnf, k)));
        return (k % 2 == 0) ? e : -e;
    }
    // Term k at the angle of t: (factor cos^a) (-sin)^b, in that order.
    __float128 term(__float128 factor_k, const angle_tables& t, int k) const
    {
        return (factor_k * t.cos_pow[static_cast<std::size_t>(cos_power(k))]) *
               t.nsin_pow[static_cast<std::size_t>(sin_power(k))];
    }
};

// ---- The series' own error bound -----------------------------------------------------

// A value is taken from the series where its bound is below a limit.  For a
// table of every J up to jmax <= 17 the limit is trust_limit, 1e-9, which the
// series meets at every whole-degree angle there, so runs whose basis stops
// at J = 17 keep the series' bits.  The densities of larger bases cancel so
// deeply (by up to 1e11 near theta = 90 at jmax 40) that a Wigner value off
// by 1e-11, as the series' are near J = 16 there, shows in their leading
// digits; their tables keep the series only where its bound is below
// strict_limit, 1e-12, and take everything else from the recursion.
inline constexpr double trust_limit = 1e-9;
inline constexpr int series_jmax = 17;
inline constexpr double strict_limit = 1e-12;
inline constexpr double limit_for(int jmax) { return jmax <= series_jmax ? trust_limit : strict_limit; }

// The error bound of a series value v whose terms have the absolute sum
// abs_sum (summed beside the value, in the same order):
//
//   bound = eps (P |v| + D abs_sum),   eps = 7 * 2^-53,
//
// P the halved prefactor log-factorial sum and D the larger of the
// denominator sums D_k of the first and the last term, each summed from lnf
// as the series sums it; the whole in binary128, rounded to double.  The
// log-gamma function of the C library is within 2 ulp (relative 4 * 2^-53)
// on the integers the series uses, and each log-factorial sum rounds three
// times in double, so P and every D_k are off by at most eps times
// themselves.  The error of P scales every term alike, hence the sum; the
// error of D_k changes term k alone, by at most eps D_k of itself, and it is
// these errors that the cancellation amplifies.  D_k, a sum of logarithms of
// factorials of linear functions of k, is convex in k, so the end terms hold
// its largest value.  The bound is first order (its fractions stay below
// 1e-11 for every j up to jmax_limit) and leaves out the binary128 rounding
// and the final narrowing.  0 outside the projection range.
double series_bound(const series_terms& s, const double* lnf, double value, __float128 abs_sum);

// ---- The screen ------------------------------------------------------------------------

// Settles most elements before any term of the series is formed, from lnf
// and three logarithms of the angle:
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
struct series_screen {
    double log_c, log_s;   // log cos(beta/2), log sin(beta/2); -inf at 0
    double log_norm;       // log(1 + sin beta)
};
enum class screen_verdict { series, recursion, sum_with_bound };

series_screen screen_of(double beta);
screen_verdict screen_element(const series_terms& s, const double* lnf, const series_screen& screen, double limit);

// ---- The sum ---------------------------------------------------------------------------

// The value of an element and, when with_bound, whether its bound is below
// limit (true when not asked), bit for bit those of the full sum of every
// term in k order, but without summing the terms that cannot change either
// (series.cpp).  factors holds the element's kept factors in k order, a NaN
// marking one not made yet, which is made here as first needed; with
// factors null every term is formed afresh.
struct series_value {
    double value;
    bool trusted;
};
series_value sum_series(const series_terms& s, const angle_tables& t, const series_screen& screen,
                        __float128* factors, bool with_bound, double limit);

}  // namespace routines::wigner
