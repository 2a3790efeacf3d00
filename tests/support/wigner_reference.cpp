#include "tests/support/wigner_reference.hpp"

#include <algorithm>
#include <cmath>

#include "routines/wigner/recursion.hpp"

namespace wigner_reference {

using namespace routines::wigner;

namespace {

// ln x!, the factorials of the sum, from the double log-gamma function.
double lnf(int x) { return std::lgamma(static_cast<double>(x) + 1.0); }

// The integer exponents of the powers, converted to double and then widened.
__float128 power_exponent(int e) { return static_cast<__float128>(static_cast<double>(e)); }

bool in_range(int j, int mp, int m) { return j >= 0 && mp >= -j && mp <= j && m >= -j && m <= j; }

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
    const __float128 p = static_cast<__float128>(((l1 + l2) + l3) + l4) * 0.5Q;
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

wigd_angle_tables::wigd_angle_tables(int jtop, double beta)
    : lnf(angle_table_size(jtop)), cos_pow(angle_table_size(jtop)), nsin_pow(angle_table_size(jtop))
{
    fill_log_factorials(jtop, lnf);
    fill_half_angle_powers(jtop, beta, cos_pow, nsin_pow);
}

double wigd_tabulated(int j, int mp, int m, const angle_tables& t, __float128* abs_sum)
{
    const series_terms s(j, mp, m);
    const double* lf = t.lnf.data();
    __float128 sum = 0, size = 0;
    if (s.count() > 0) {
        const __float128 p = s.half_prefactor(lf);
        for (int k = s.kmin; k <= s.kmax; ++k) {
            const __float128 x = s.term(s.factor(p, lf, k), t, k);
            sum = sum + x;
            size = size + fabsq(x);
        }
    }
    if (abs_sum) *abs_sum = size;
    return static_cast<double>(sum);
}

double wigd_recipe_bound(int j, int mp, int m, const angle_tables& t, double& bound)
{
    __float128 abs_sum = 0;
    const double v = wigd_tabulated(j, mp, m, t, &abs_sum);
    bound = series_bound(series_terms(j, mp, m), t.lnf.data(), v, abs_sum);
    return v;
}

double wigd_recipe_bound(int j, int mp, int m, double beta, double& bound)
{
    bound = 0.0;
    if (!in_range(j, mp, m)) return 0.0;
    const wigd_angle_tables t(j, beta);
    return wigd_recipe_bound(j, mp, m, t.view(), bound);
}

void fill_wigd_factors(int j, int mp, int m, std::span<const double> lnf, __float128* factors)
{
    const series_terms s(j, mp, m);
    if (s.count() == 0) return;
    const __float128 p = s.half_prefactor(lnf.data());
    for (int k = s.kmin; k <= s.kmax; ++k) factors[k - s.kmin] = s.factor(p, lnf.data(), k);
}

double wigd_from_factors(int j, int mp, int m, const __float128* factors, const angle_tables& t, __float128* abs_sum)
{
    const series_terms s(j, mp, m);
    __float128 sum = 0, size = 0;
    for (int k = s.kmin; k <= s.kmax; ++k) {
        const __float128 x = s.term(factors[k - s.kmin], t, k);
        sum = sum + x;
        size = size + fabsq(x);
    }
    if (abs_sum) *abs_sum = size;
    return static_cast<double>(sum);
}

plane_factors::plane_factors(int jmax_, bool same_parity_only) : jmax(jmax_), start(plane_size(jmax_))
{
    std::size_t count = 0;
    for (int j = 0; j <= jmax; ++j)
        for (int k2 = -j; k2 <= j; ++k2)
            for (int k1 = -j; k1 <= j; ++k1) {
                if (same_parity_only && (k1 - k2) % 2 != 0) continue;
                start[plane_at(jmax, j, k1, k2)] = count;
                count += static_cast<std::size_t>(series_terms(j, k1, k2).count());
            }
    factors.resize(count);
    const wigd_angle_tables t(jmax, 0.0);
    for (int j = 0; j <= jmax; ++j)
        for (int k2 = -j; k2 <= j; ++k2)
            for (int k1 = -j; k1 <= j; ++k1)
                if (!same_parity_only || (k1 - k2) % 2 == 0)
                    fill_wigd_factors(j, k1, k2, t.lnf, factors.data() + start[plane_at(jmax, j, k1, k2)]);
}

const __float128* plane_factors::of(int j, int k1, int k2) const
{
    return factors.data() + start[plane_at(jmax, j, k1, k2)];
}

void wigd_accurate_matrix(int j, double beta, std::span<double> d, std::span<double> work)
{
    sweep sw = sweep_start(j, beta, work);
    while (sw.j < j) sweep_next(sw);
    for (int m = -j; m <= j; ++m)
        for (int mp = -j; mp <= j; ++mp) d[matrix_at(j, mp, m)] = sweep_element(sw, mp, m);
}

void wigd_trusted_plane(int jmax, double beta, const angle_tables& t, std::span<double> plane,
                        std::span<double> work, bool same_parity_only, const plane_factors* factors)
{
    sweep sw = sweep_start(jmax, beta, work);
    const double limit = limit_for(jmax);
    for (int j = 0; j <= jmax; ++j) {
        if (j > 0) sweep_next(sw);
        for (int k2 = -j; k2 <= j; ++k2)
            for (int k1 = -j; k1 <= j; ++k1) {
                if (same_parity_only && (k1 - k2) % 2 != 0) continue;
                __float128 abs_sum;
                const double v = factors ? wigd_from_factors(j, k1, k2, factors->of(j, k1, k2), t, &abs_sum)
                                         : wigd_tabulated(j, k1, k2, t, &abs_sum);
                const double bound = series_bound(series_terms(j, k1, k2), t.lnf.data(), v, abs_sum);
                plane[plane_at(jmax, j, k1, k2)] = bound < limit ? v : sweep_element(sw, k1, k2);
            }
    }
}

}  // namespace wigner_reference
