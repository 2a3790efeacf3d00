#include "routines/wigd.hpp"

#include <algorithm>
#include <cmath>

namespace routines {

namespace {

// ln x!, the factorials of the sum, from the double log-gamma function.
double lnf(int x) { return std::lgamma(static_cast<double>(x) + 1.0); }

// The exponents of the cosine and sine powers stay below 2^53, so passing
// them through double loses nothing; the detour is kept because it is the
// conversion the tabulated powers were made with.
__float128 power_exponent(int e) { return static_cast<__float128>(static_cast<double>(e)); }

}  // namespace

double wigd(int j, int mp, int m, double beta)
{
    const double l1 = lnf(j + m);
    const double l2 = lnf(j - m);
    const double l3 = lnf(j + mp);
    const double l4 = lnf(j - mp);
    const int kmin = std::max(0, m - mp);
    const int kmax = std::min(j - mp, j + m);
    if (kmax < kmin) return 0.0;

    const __float128 eta = static_cast<__float128>(beta) * 0.5Q;
    const __float128 c = cosq(eta);
    const __float128 n = -sinq(eta);
    // Half the log of the four prefactor factorials: the square root of their
    // product, taken inside the exponential so that nothing overflows.
    const __float128 p = static_cast<__float128>(((l1 + l2) + l3) + l4) * 0.5Q;

    // The terms alternate in sign and can be far larger than the result; the
    // binary128 sum keeps the cancellation harmless at moderate j.
    __float128 sum = 0;
    for (int k = kmin; k <= kmax; ++k) {
        const double d = lnf(k) + ((lnf(j - mp - k) + lnf(j + m - k)) + lnf(k + mp - m));
        const __float128 e = expq(p - static_cast<__float128>(d));
        const __float128 a = powq(c, power_exponent(2 * j + m - mp - 2 * k));
        const __float128 b = powq(n, power_exponent(mp - m + 2 * k));
        const __float128 sigma = static_cast<__float128>(k % 2 == 0 ? 1 : -1);
        sum = sum + ((sigma * e) * a) * b;
    }
    return static_cast<double>(sum);
}

void fill_wigd_lnf(int jtop, std::span<double> lnf_table)
{
    for (int x = 0; x <= 2 * jtop; ++x) lnf_table[static_cast<std::size_t>(x)] = lnf(x);
}

void fill_wigd_powers(int jtop, double beta, std::span<__float128> cos_pow,
                      std::span<__float128> nsin_pow)
{
    const __float128 eta = static_cast<__float128>(beta) * 0.5Q;
    const __float128 c = cosq(eta);
    const __float128 n = -sinq(eta);
    for (int e = 0; e <= 2 * jtop; ++e) {
        cos_pow[static_cast<std::size_t>(e)] = powq(c, power_exponent(e));
        nsin_pow[static_cast<std::size_t>(e)] = powq(n, power_exponent(e));
    }
}

namespace {

template <bool with_size>
double tabulated_sum(int j, int mp, int m, const wigd_tables& t, __float128* abs_sum)
{
    const int kmin = std::max(0, m - mp);
    const int kmax = std::min(j - mp, j + m);
    if (kmax < kmin) return 0.0;
    const double* lf = t.lnf.data();

    const __float128 p =
        static_cast<__float128>(((lf[j + m] + lf[j - m]) + lf[j + mp]) + lf[j - mp]) * 0.5Q;
    __float128 sum = 0;
    __float128 size = 0;
    for (int k = kmin; k <= kmax; ++k) {
        const double d = lf[k] + ((lf[j - mp - k] + lf[j + m - k]) + lf[k + mp - m]);
        const __float128 e = expq(p - static_cast<__float128>(d));
        // sigma * e with sigma = +-1 is exact, hence the same as a sign flip.
        const __float128 term = (((k % 2 == 0) ? e : -e) * t.cos_pow[2 * j + m - mp - 2 * k])
                                * t.nsin_pow[mp - m + 2 * k];
        sum = sum + term;
        if constexpr (with_size) size = size + fabsq(term);
    }
    if constexpr (with_size) *abs_sum = size;
    return static_cast<double>(sum);
}

}  // namespace

double wigd_tabulated(int j, int mp, int m, const wigd_tables& t, __float128* abs_sum)
{
    if (abs_sum) {
        *abs_sum = 0;
        return tabulated_sum<true>(j, mp, m, t, abs_sum);
    }
    return tabulated_sum<false>(j, mp, m, t, nullptr);
}

int wigd_term_count(int j, int mp, int m)
{
    const int kmin = std::max(0, m - mp);
    const int kmax = std::min(j - mp, j + m);
    return kmax < kmin ? 0 : kmax - kmin + 1;
}

void fill_wigd_factors(int j, int mp, int m, std::span<const double> lnf_table, __float128* factors)
{
    const int kmin = std::max(0, m - mp);
    const int kmax = std::min(j - mp, j + m);
    if (kmax < kmin) return;
    const double* lf = lnf_table.data();
    const __float128 p =
        static_cast<__float128>(((lf[j + m] + lf[j - m]) + lf[j + mp]) + lf[j - mp]) * 0.5Q;
    for (int k = kmin; k <= kmax; ++k) {
        const double d = lf[k] + ((lf[j - mp - k] + lf[j + m - k]) + lf[k + mp - m]);
        const __float128 e = expq(p - static_cast<__float128>(d));
        factors[k - kmin] = (k % 2 == 0) ? e : -e;
    }
}

double wigd_from_factors(int j, int mp, int m, const __float128* factors,
                         std::span<const __float128> cos_pow, std::span<const __float128> nsin_pow,
                         __float128* abs_sum)
{
    const int kmin = std::max(0, m - mp);
    const int kmax = std::min(j - mp, j + m);
    __float128 sum = 0;
    __float128 size = 0;
    for (int k = kmin; k <= kmax; ++k) {
        const __float128 term = (factors[k - kmin] * cos_pow[2 * j + m - mp - 2 * k]) * nsin_pow[mp - m + 2 * k];
        sum = sum + term;
        if (abs_sum) size = size + fabsq(term);
    }
    if (abs_sum) *abs_sum = size;
    return static_cast<double>(sum);
}

}  // namespace routines
