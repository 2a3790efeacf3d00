// Trusted Wigner small-d values: the series of wigd with its own error bound,
// and a recursion in j that is stable at every j.
//
// The recursion couples spin j - 1/2 with spin 1/2 to the stretched spin j.
// With the Clebsch-Gordan coefficients of that coupling, sqrt((j +- m)/(2j)),
//
//   d^j_{m'm} = (1/2j) [ sqrt((j+m')(j+m)) c d^{j-1/2}_{m'-1/2,m-1/2}
//                      - sqrt((j+m')(j-m)) s d^{j-1/2}_{m'-1/2,m+1/2}
//                      + sqrt((j-m')(j+m)) s d^{j-1/2}_{m'+1/2,m-1/2}
//                      + sqrt((j-m')(j-m)) c d^{j-1/2}_{m'+1/2,m+1/2} ],
//
// c = cos(beta/2), s = sin(beta/2), the four products being the elements of
// d^{1/2}.  Each half step is a contraction of the exact rotation matrices
// (the coupled product of two orthogonal matrices restricted to the stretched
// subspace), so rounding errors are carried forward without growth and add up
// over the 2j steps: below 2e-15 against 40-digit values for every j up to
// 876, where the series loses everything by j = 50 with double log-factorials
// and by j = 80 even with exact ones in binary128.  The whole of d^J for every
// J up to j costs about (4/3) (2j)^3 multiplications in double, far less than
// the series.
#include "routines/wigner_accurate.hpp"

#include <quadmath.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace routines {

namespace {

// Relative error of a log-factorial sum: 2 ulp of lgamma plus three roundings.
constexpr double log_sum_eps = 7.0 * 0x1p-53;

// Level n of the recursion is d^{n/2}, (n+1) x (n+1).  Its element (a, b),
// a = j + m', b = j + m, lies at (a + 1) + (b + 1) ld inside a buffer whose
// border row and column stay zero, so that the neighbours outside the matrix
// read as zero.  Two such buffers alternate; entries beyond the current level
// are still zero from the start, as every level is larger than the last.
std::size_t padded_ld(int jmax) { return static_cast<std::size_t>(2 * jmax + 3); }

// From level n - 1 in buffer (n - 1) % 2 to level n in buffer n % 2.  The
// coefficients sqrt((j +- m')(j +- m))/(2j) are formed as products of
// sqrt(a/n) and sqrt((n-a)/n), which are 1 on the edge of the matrix, so
// that the corner elements cos(beta/2)^(2j) and sin(beta/2)^(2j) carry one
// rounding per step and nothing more.  The column loop has no reduction and
// no contraction, so however the compiler treats it every element gets the
// same bits.
void half_step(const wigd_sweep& sw, int n)
{
    const std::size_t ld = sw.ld;
    const double* __restrict old = sw.level[(n - 1) % 2];
    double* __restrict nw = sw.level[n % 2];
    double* __restrict q = sw.q;
    double* __restrict qr = sw.q_rev;
    for (int a = 0; a <= n; ++a) q[a] = std::sqrt(static_cast<double>(a) / n);
    for (int a = 0; a <= n; ++a) qr[a] = q[n - a];
    for (int b = 0; b <= n; ++b) {
        // The elements c, -s, s, c of d^{1/2}, each with its column weight.
        const double cq1 = sw.c1 * q[b], cq0 = sw.c0 * q[b];
        const double sq1 = sw.s1 * q[b], sq0 = sw.s0 * q[b];
        const double cr1 = sw.c1 * qr[b], cr0 = sw.c0 * qr[b];
        const double sr1 = sw.s1 * qr[b], sr0 = sw.s0 * qr[b];
        const double* __restrict o1 = old + static_cast<std::size_t>(b) * ld;   // column b - 1
        const double* __restrict o2 = o1 + ld;                                  // column b
        double* __restrict out = nw + static_cast<std::size_t>(b + 1) * ld + 1;
        for (int a = 0; a <= n; ++a) {
            const double upper = (cq1 * o1[a] - cq0 * o1[a]) - (sr1 * o2[a] - sr0 * o2[a]);
            const double lower = (sq1 * o1[a + 1] - sq0 * o1[a + 1]) + (cr1 * o2[a + 1] - cr0 * o2[a + 1]);
            out[a] = q[a] * upper + qr[a] * lower;
        }
    }
}

std::size_t matrix_at(int j, int mp, int m)
{
    return static_cast<std::size_t>(mp + j) + static_cast<std::size_t>(m + j) * static_cast<std::size_t>(2 * j + 1);
}

bool in_range(int j, int mp, int m) { return j >= 0 && mp >= -j && mp <= j && m >= -j && m <= j; }

}  // namespace

// ---- The series and its bound ----------------------------------------------------

double wigd_series_bound(int j, int mp, int m, std::span<const double> lnf, double value,
                         __float128 abs_sum)
{
    const int kmin = std::max(0, m - mp);
    const int kmax = std::min(j - mp, j + m);
    if (kmax < kmin) return 0.0;
    const double* lf = lnf.data();
    const __float128 p = static_cast<__float128>(((lf[j + m] + lf[j - m]) + lf[j + mp]) + lf[j - mp]) * 0.5Q;
    auto denominator = [&](int k) { return lf[k] + ((lf[j - mp - k] + lf[j + m - k]) + lf[k + mp - m]); };
    const double d = std::max(denominator(kmin), denominator(kmax));
    return static_cast<double>(static_cast<__float128>(log_sum_eps) *
                               (p * fabsq(static_cast<__float128>(value)) + static_cast<__float128>(d) * abs_sum));
}

wigd_screen wigd_screen_of(double beta)
{
    return {std::log(std::cos(beta * 0.5)), std::log(std::sin(beta * 0.5)), std::log1p(std::sin(beta))};
}

wigd_verdict wigd_screen_element(int j, int mp, int m, std::span<const double> lnf, const wigd_screen& screen,
                                 double limit)
{
    const double below = limit * (1.0 - 1e-6);
    const double above = limit * (1.0 + 1e-6);
    const int kmin = std::max(0, m - mp);
    const int kmax = std::min(j - mp, j + m);
    if (kmax < kmin) return wigd_verdict::series;
    const double* lf = lnf.data();
    auto denominator = [&](int k) { return lf[k] + ((lf[j - mp - k] + lf[j + m - k]) + lf[k + mp - m]); };
    const double p = (((lf[j + m] + lf[j - m]) + lf[j + mp]) + lf[j - mp]) * 0.5;
    const double d = std::max(denominator(kmin), denominator(kmax));
    if (log_sum_eps * (p + d) * std::exp(j * screen.log_norm) < below) return wigd_verdict::series;

    // |term_{k+1} / term_k| = (j-m'-k)(j+m-k) / ((k+1)(k+m'-m+1)) tan^2(beta/2)
    // falls with k: the largest term is the first whose successor is smaller.
    const double log_t2 = 2.0 * (screen.log_s - screen.log_c);
    auto grows = [&](int k) {
        const double ratio =
            (static_cast<double>(j - mp - k) * (j + m - k)) / (static_cast<double>(k + 1) * (k + mp - m + 1));
        return std::log(ratio) + log_t2 > 0.0;
    };
    int lo = kmin, hi = kmax;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (grows(mid))
            lo = mid + 1;
        else
            hi = mid;
    }
    const int a = 2 * j + m - mp - 2 * lo;
    const int b = mp - m + 2 * lo;
    double x = p - denominator(lo);
    if (a > 0) x += a * screen.log_c;
    if (b > 0) x += b * screen.log_s;
    const double largest = std::exp(x);
    if (log_sum_eps * d * largest > above) return wigd_verdict::recursion;
    if (log_sum_eps * (p + d) * (kmax - kmin + 1) * largest < below) return wigd_verdict::series;
    return wigd_verdict::sum_with_bound;
}

double wigd_recipe_bound(int j, int mp, int m, const wigd_tables& t, double& bound)
{
    __float128 abs_sum = 0;
    const double v = wigd_tabulated(j, mp, m, t, &abs_sum);
    bound = wigd_series_bound(j, mp, m, t.lnf, v, abs_sum);
    return v;
}

double wigd_recipe_bound(int j, int mp, int m, double beta, double& bound)
{
    bound = 0.0;
    if (!in_range(j, mp, m)) return 0.0;
    const wigd_angle_tables t(j, beta);
    return wigd_recipe_bound(j, mp, m, t.view(), bound);
}

// ---- The recursion ------------------------------------------------------------------

std::size_t wigd_work_size(int jmax)
{
    const std::size_t ld = padded_ld(jmax);
    return 2 * ld * ld + 2 * static_cast<std::size_t>(2 * jmax + 1);
}

// cos(beta/2) and sin(beta/2) are each held as a difference x1 - x0 of two
// doubles.  Every element of d^j is a form of degree 2j in c and s, so a
// relative error delta in c alone comes out as about 2j delta in the result:
// c rounded to double near beta = 0 (or s near pi) would cost 4e-14 at
// j = 876.  Written as 1 - (1 - c), with 1 - c formed in binary128 and then
// rounded, c is known to a relative 1e-16 of its distance from 1 instead, and
// the products x c = x - x (1 - c) keep that.  Far from 1, x1 is the value
// and x0 is zero.
wigd_sweep wigd_sweep_start(int jmax, double beta, std::span<double> work)
{
    const std::size_t ld = padded_ld(jmax);
    std::fill(work.begin(), work.begin() + 2 * ld * ld, 0.0);
    double* const weights = work.data() + 2 * ld * ld;
    wigd_sweep sw{{work.data(), work.data() + ld * ld}, weights, weights + (2 * jmax + 1), ld,
                  0.0, 0.0, 0.0, 0.0, jmax, 0};
    sw.level[0][1 + ld] = 1.0;   // d^0

    const __float128 eta = static_cast<__float128>(beta) * 0.5Q;
    const __float128 c = cosq(eta);
    const __float128 s = sinq(eta);
    if (c > 0.5Q) {
        sw.c1 = 1.0;
        sw.c0 = static_cast<double>(1.0Q - c);
    } else {
        sw.c1 = static_cast<double>(c);
    }
    if (s > 0.5Q) {
        sw.s1 = 1.0;
        sw.s0 = static_cast<double>(1.0Q - s);
    } else {
        sw.s1 = static_cast<double>(s);
    }
    return sw;
}

void wigd_sweep_next(wigd_sweep& sw)
{
    half_step(sw, 2 * sw.j + 1);
    half_step(sw, 2 * sw.j + 2);
    ++sw.j;
}

double wigd_sweep_element(const wigd_sweep& sw, int mp, int m)
{
    // Level 2J, even, lies in the first buffer.
    return sw.level[0][static_cast<std::size_t>(mp + sw.j + 1) + static_cast<std::size_t>(m + sw.j + 1) * sw.ld];
}

double wigd_accurate(int j, int mp, int m, double beta)
{
    if (!in_range(j, mp, m)) return 0.0;
    std::vector<double> work(wigd_work_size(j));
    wigd_sweep sw = wigd_sweep_start(j, beta, work);
    while (sw.j < j) wigd_sweep_next(sw);
    return wigd_sweep_element(sw, mp, m);
}

void wigd_accurate_matrix(int j, double beta, std::span<double> d, std::span<double> work)
{
    wigd_sweep sw = wigd_sweep_start(j, beta, work);
    while (sw.j < j) wigd_sweep_next(sw);
    for (int m = -j; m <= j; ++m)
        for (int mp = -j; mp <= j; ++mp) d[matrix_at(j, mp, m)] = wigd_sweep_element(sw, mp, m);
}

// ---- Trusted values --------------------------------------------------------------------

double wigd_trusted(int j, int mp, int m, double beta, double limit)
{
    double bound;
    const double v = wigd_recipe_bound(j, mp, m, beta, bound);
    if (bound < limit) return v;
    return wigd_accurate(j, mp, m, beta);
}

void wigd_trusted_matrix(int j, double beta, const wigd_tables& t, std::span<double> d,
                         std::span<double> work, double limit)
{
    wigd_accurate_matrix(j, beta, d, work);
    for (int m = -j; m <= j; ++m)
        for (int mp = -j; mp <= j; ++mp) {
            double bound;
            const double v = wigd_recipe_bound(j, mp, m, t, bound);
            if (bound < limit) d[matrix_at(j, mp, m)] = v;
        }
}

void wigd_trusted_plane(int jmax, double beta, const wigd_tables& t, std::span<double> plane,
                        std::span<double> work, bool same_parity_only)
{
    wigd_sweep sw = wigd_sweep_start(jmax, beta, work);
    const wigd_screen screen = wigd_screen_of(beta);
    const double limit = wigd_limit_for(jmax);
    const std::size_t nj = static_cast<std::size_t>(jmax) + 1;
    const std::size_t nk = static_cast<std::size_t>(2 * jmax + 1);
    for (int j = 0; j <= jmax; ++j) {
        if (j > 0) wigd_sweep_next(sw);
        for (int k2 = -j; k2 <= j; ++k2)
            for (int k1 = -j; k1 <= j; ++k1) {
                if (same_parity_only && (k1 - k2) % 2 != 0) continue;
                double v = 0;
                double bound;
                switch (wigd_screen_element(j, k1, k2, t.lnf, screen, limit)) {
                case wigd_verdict::series: v = wigd_tabulated(j, k1, k2, t); break;
                case wigd_verdict::recursion: v = wigd_sweep_element(sw, k1, k2); break;
                case wigd_verdict::sum_with_bound:
                    v = wigd_recipe_bound(j, k1, k2, t, bound);
                    if (!(bound < limit)) v = wigd_sweep_element(sw, k1, k2);
                    break;
                }
                plane[static_cast<std::size_t>(j) +
                      nj * (static_cast<std::size_t>(k1 + jmax) + nk * static_cast<std::size_t>(k2 + jmax))] = v;
            }
    }
}

}  // namespace routines
