#include "routines/wigner/series.hpp"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "routines/parity_blocks.hpp"

namespace routines::wigner {

namespace {

// Relative error of a log-factorial sum: 2 ulp of lgamma plus three roundings.
constexpr double log_sum_eps = 7.0 * 0x1p-53;

// The exponents of the cosine and sine powers stay below 2^53, so passing
// them through double loses nothing; the detour is kept because it is the
// conversion the straightforward sum makes.
__float128 power_exponent(int e) { return static_cast<__float128>(static_cast<double>(e)); }

}  // namespace

// ---- The tables of one polar angle ------------------------------------------------

void fill_log_factorials(int jtop, std::span<double> lnf)
{
    for (int x = 0; x <= 2 * jtop; ++x) lnf[static_cast<std::size_t>(x)] = std::lgamma(static_cast<double>(x) + 1.0);
}

void fill_half_angle_powers(int jtop, double beta, std::span<__float128> cos_pow, std::span<__float128> nsin_pow)
{
    const __float128 eta = static_cast<__float128>(beta) * 0.5Q;
    const __float128 c = cosq(eta);
    const __float128 n = -sinq(eta);
    for (int e = 0; e <= 2 * jtop; ++e) {
        cos_pow[static_cast<std::size_t>(e)] = powq(c, power_exponent(e));
        nsin_pow[static_cast<std::size_t>(e)] = powq(n, power_exponent(e));
    }
}

// ---- The terms of one element -------------------------------------------------------

double series_terms::log_magnitude(double half_p, const double* lnf, const series_screen& screen, int k) const
{
    const int a = cos_power(k), b = sin_power(k);
    double x = half_p - denominator(lnf, k);
    if (a > 0) x += a * screen.log_c;
    if (b > 0) x += b * screen.log_s;
    return x;
}

// ---- The bound and the screen --------------------------------------------------------

double series_bound(const series_terms& s, const double* lnf, double value, __float128 abs_sum)
{
    if (s.count() == 0) return 0.0;
    const __float128 p = s.half_prefactor(lnf);
    const double d = std::max(s.denominator(lnf, s.kmin), s.denominator(lnf, s.kmax));
    return static_cast<double>(static_cast<__float128>(log_sum_eps) *
                               (p * fabsq(static_cast<__float128>(value)) + static_cast<__float128>(d) * abs_sum));
}

series_screen screen_of(double beta)
{
    return {std::log(std::cos(beta * 0.5)), std::log(std::sin(beta * 0.5)), std::log1p(std::sin(beta))};
}

screen_verdict screen_element(const series_terms& s, const double* lnf, const series_screen& screen, double limit)
{
    const double below = limit * (1.0 - 1e-6);
    const double above = limit * (1.0 + 1e-6);
    if (s.count() == 0) return screen_verdict::series;
    const int j = s.j, mp = s.mp, m = s.m;
    const double p = s.prefactor_sum(lnf) * 0.5;
    const double d = std::max(s.denominator(lnf, s.kmin), s.denominator(lnf, s.kmax));
    if (log_sum_eps * (p + d) * std::exp(j * screen.log_norm) < below) return screen_verdict::series;

    // |term_{k+1} / term_k| = (j-m'-k)(j+m-k) / ((k+1)(k+m'-m+1)) tan^2(beta/2)
    // falls with k: the largest term is the first whose successor is smaller.
    const double log_t2 = 2.0 * (screen.log_s - screen.log_c);
    auto grows = [&](int k) {
        const double ratio =
            (static_cast<double>(j - mp - k) * (j + m - k)) / (static_cast<double>(k + 1) * (k + mp - m + 1));
        return std::log(ratio) + log_t2 > 0.0;
    };
    int lo = s.kmin, hi = s.kmax;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (grows(mid))
            lo = mid + 1;
        else
            hi = mid;
    }
    const double largest = std::exp(s.log_magnitude(p, lnf, screen, lo));
    if (log_sum_eps * d * largest > above) return screen_verdict::recursion;
    if (log_sum_eps * (p + d) * s.count() * largest < below) return screen_verdict::series;
    return screen_verdict::sum_with_bound;
}

// ---- The sum ---------------------------------------------------------------------------

namespace {

// A factor not made yet is a NaN (all exponent bits set, a mantissa bit
// too); told apart by its bits, without a binary128 comparison.
bool not_made(const __float128& x)
{
    std::uint64_t half[2];
    std::memcpy(half, &x, sizeof half);
    const std::uint64_t high = half[1];   // sign, exponent and the top of the mantissa
    return (high & 0x7fff000000000000u) == 0x7fff000000000000u && ((high & 0x0000ffffffffffffu) | half[0]) != 0;
}

// e^x as a binary128, for a margin: 2^e times e^r, r in [0, log 2), without
// a binary128 exponential.
__float128 exp_margin(double x)
{
    constexpr double log2 = 0.6931471805599453;
    const double e = std::floor(x / log2);
    return scalbnq(static_cast<__float128>(std::exp(x - e * log2)), static_cast<int>(e));
}

}  // namespace

// Away from theta = 90 the terms rise or fall geometrically, by powers of
// tan^2(theta/2) or its inverse, and most lie far below the last place of
// the double the sum is rounded to.  Each term's magnitude is estimated in
// double from the logarithms of its factors (log_c, log_s of the screen);
// terms below 2^-70 of the largest are left out, and the sum of the others
// is kept only when the interval that the left-out terms and the roundings
// of either order of summation can span (their estimated magnitudes with a
// margin of 1%, and 2 (n + 2) 2^-113 of n times the largest term) rounds to a
// single double, and gives the bound a single verdict.  Otherwise, and
// always for a sum that leaves nothing out, every term is summed as the full
// series sums it.  Either way the value and the verdict are bit for bit those
// of the full sum.  A term with a power that is exactly zero (at theta = 0)
// is a zero and changes nothing.
series_value sum_series(const series_terms& s, const angle_tables& t, const series_screen& screen,
                        __float128* factors, bool with_bound, double limit)
{
    if (s.count() == 0) return {0.0, true};
    const double* lf = t.lnf.data();
    const __float128 p = s.half_prefactor(lf);
    auto term = [&](int k) {
        if (!factors) return s.term(s.factor(p, lf, k), t, k);
        __float128& kept = factors[k - s.kmin];
        if (not_made(kept)) kept = s.factor(p, lf, k);
        return s.term(kept, t, k);
    };
    auto verdict = [&](double value, __float128 abs_sum) {
        return !with_bound || series_bound(s, lf, value, abs_sum) < limit;
    };

    // The logarithms of the terms' magnitudes; -inf for an exact zero, a
    // positive power of sin 0 (only theta = 0 has a zero cosine or sine).
    // An element has at most j + 1 terms.
    double log_term[jmax_limit + 1];
    double largest = -INFINITY;
    const double half_p = s.prefactor_sum(lf) * 0.5;
    for (int k = s.kmin; k <= s.kmax; ++k) {
        const double l = s.log_magnitude(half_p, lf, screen, k);
        log_term[k - s.kmin] = l;
        largest = std::max(largest, l);
    }
    if (largest == -INFINITY) return {0.0, verdict(0.0, 0)};

    constexpr double below = -70 * 0.6931471805599453;       // log 2^-70
    constexpr double far_below = -120 * 0.6931471805599453;  // log 2^-120
    double left_out = 0;   // magnitudes over e^largest, each counted at least 2^-120
    __float128 sum = 0, abs_sum = 0;
    for (int k = s.kmin; k <= s.kmax; ++k) {
        const double l = log_term[k - s.kmin] - largest;
        if (l == -INFINITY) continue;
        if (l < below) {
            left_out += l < far_below ? 0x1p-120 : std::exp(l);
            continue;
        }
        const __float128 x = term(k);
        sum = sum + x;
        if (with_bound) abs_sum = abs_sum + fabsq(x);
    }
    if (left_out > 0) {
        const int n = s.count();
        const __float128 scale = exp_margin(largest);
        const __float128 skipped = static_cast<__float128>(1.01 * left_out) * scale;
        // Every term is at most e^largest, so n of them bound the absolute sum.
        const __float128 roundings = static_cast<__float128>(2.02 * (n + 2) * n) * 0x1p-113Q * scale;
        const __float128 spread = 2 * (skipped + roundings);
        const double low = static_cast<double>(sum - spread);
        const double high = static_cast<double>(sum + spread);
        if (std::memcmp(&low, &high, sizeof low) == 0) {
            const bool trusted = verdict(low, abs_sum - spread);
            if (trusted == verdict(low, abs_sum + spread)) return {low, trusted};
        }
        // Too close to call: the full sum.
        sum = 0;
        abs_sum = 0;
        for (int k = s.kmin; k <= s.kmax; ++k) {
            if (log_term[k - s.kmin] == -INFINITY) continue;
            const __float128 x = term(k);
            sum = sum + x;
            if (with_bound) abs_sum = abs_sum + fabsq(x);
        }
    }
    const double value = static_cast<double>(sum);
    return {value, verdict(value, abs_sum)};
}

}  // namespace routines::wigner
