#include "routines/wigner/three_term.hpp"

#include <quadmath.h>

#include <algorithm>
#include <cmath>

#include "routines/double_double.hpp"

namespace routines::wigner {

namespace {

// A double-double (hi, lo) times 2^e, hi in [0.5, 1) or zero: the seeds and
// the powers they are made of, whatever their size.
struct scaled {
    double hi, lo;
    int e;
};

scaled normalised(double hi, double lo, int e)
{
    if (hi == 0) return {0, 0, 0};
    int k;
    std::frexp(hi, &k);
    return {std::ldexp(hi, -k), std::ldexp(lo, -k), e + k};
}

scaled times(const scaled& a, const scaled& b)
{
    double h, l;
    dd::mul(a.hi, a.lo, b.hi, b.lo, h, l);
    return normalised(h, l, a.e + b.e);
}

scaled root(scaled a)
{
    if (a.e % 2 != 0) a = {2 * a.hi, 2 * a.lo, a.e - 1};
    double h, l;
    dd::square_root(a.hi, a.lo, h, l);
    return normalised(h, l, a.e / 2);
}

// The layout of the powers of an angle: (hi, lo, exponent) of cos(beta/2)^a
// at 3a, of sin(beta/2)^a at 3 (2 jtop + 1 + a).
scaled power_at(const column_angle& angle, bool sine, int a)
{
    const double* p = angle.powers + 3 * ((sine ? 2 * angle.jtop + 1 : 0) + a);
    return {p[0], p[1], static_cast<int>(p[2])};
}

void put_power(double* powers, int jtop, bool sine, int a, const scaled& v)
{
    double* p = powers + 3 * ((sine ? 2 * jtop + 1 : 0) + a);
    p[0] = v.hi;
    p[1] = v.lo;
    p[2] = v.e;
}

scaled of_quad(__float128 x)
{
    const double hi = static_cast<double>(x);
    const double lo = static_cast<double>(x - hi);
    double h, l;
    dd::quick_two_sum(hi, lo, h, l);
    return normalised(h, l, 0);
}

// The factors of step J -> J + 1 at projection k: [0, 1] 1 / r_{J+1}(k),
// [2, 3] r_J(k) / r_{J+1}(k).
std::size_t factor_at(int j, int k) { return 4 * (static_cast<std::size_t>(j) * (j + 1) / 2 + static_cast<std::size_t>(k)); }

// A row whose values are carried with a binary exponent (its state's scale
// negative) is brought to plain double-doubles once its value reaches
// 2^-plain_limit, and rescaled by 2^-rescale_step whenever its mantissa passes
// 2^rescale_step.  One step multiplies a value by at most 2 jmax_limit < 2^11,
// so the mantissas stay far inside the range of doubles.
constexpr int plain_limit = 600;
constexpr int rescale_step = 256;

// The state of a column, five arrays of its rows: d^{J-1} (hi, lo), d^J
// (hi, lo), and the binary exponent of both (0 for plain values).
struct rows_view {
    double *prev_hi, *prev_lo, *hi, *lo, *scale;
};
rows_view rows_of(const column_sweep& c)
{
    const auto n = static_cast<std::size_t>(c.rows);
    double* s = c.state;
    return {s, s + n, s + 2 * n, s + 3 * n, s + 4 * n};
}

}  // namespace

std::size_t column_factors_size(int jmax) { return jmax <= 0 ? 0 : factor_at(jmax, 0); }

void fill_column_factors(int jmax, std::span<double> factors)
{
    for (int j = 0; j < jmax; ++j)
        for (int k = 0; k <= j; ++k) {
            // (J+1)^2 - k^2 and J^2 - k^2 are exact integers.
            double* f = factors.data() + factor_at(j, k);
            double rh, rl, ih, il, sh, sl;
            dd::square_root(static_cast<double>((j + 1) * (j + 1) - k * k), 0.0, rh, rl);
            dd::reciprocal(rh, rl, ih, il);
            dd::square_root(static_cast<double>(j * j - k * k), 0.0, sh, sl);
            f[0] = ih;
            f[1] = il;
            dd::mul(sh, sl, ih, il, f[2], f[3]);
        }
}

std::size_t column_powers_size(int jtop) { return 6 * static_cast<std::size_t>(2 * jtop + 1); }

column_angle column_angle_of(double beta, int jtop, std::span<double> powers)
{
    // cos beta, cos(beta/2) and sin(beta/2) of the double angle in binary128
    // (beta/2 is exact), each kept to 106 bits; the powers by repeated
    // products, 2 jtop of them at most, each good to 2^-104.
    const __float128 b = beta;
    column_angle a{};
    const scaled cb = of_quad(cosq(b));
    a.cos_beta[0] = std::ldexp(cb.hi, cb.e);
    a.cos_beta[1] = std::ldexp(cb.lo, cb.e);
    a.powers = powers.data();
    a.jtop = jtop;
    const scaled c = of_quad(cosq(b * 0.5Q)), s = of_quad(sinq(b * 0.5Q));
    scaled pc{0.5, 0, 1}, ps{0.5, 0, 1};
    for (int e = 0; e <= 2 * jtop; ++e) {
        put_power(powers.data(), jtop, false, e, pc);
        put_power(powers.data(), jtop, true, e, ps);
        pc = times(pc, c);
        ps = times(ps, s);
    }
    return a;
}

std::size_t column_state_size(int m) { return 5 * static_cast<std::size_t>(m + 1); }

column_sweep column_sweep_start(std::span<const double> factors, const column_angle& angle, int m, int first_row,
                                std::span<double> state)
{
    column_sweep c{factors.data(), angle, state.data(), m, first_row, first_row == -m ? m + 1 : m, m};
    const rows_view r = rows_of(c);
    // sqrt(C(2m, m - m')) from C(2m, b + 1) = C(2m, b) (2m - b) / (b + 1),
    // every product and quotient of exact integers good to 2^-104, the row
    // b = m - m' taken as b passes it.
    scaled binomial{0.5, 0, 1};
    int b = 0;
    for (int i = c.rows - 1; i >= 0; --i) {
        const int mp = first_row + 2 * i;
        for (; b < m - mp; ++b) {
            double h, l;
            dd::mul(binomial.hi, binomial.lo, static_cast<double>(2 * m - b), h, l);
            dd::quotient(h, l, static_cast<double>(b + 1), h, l);
            binomial = normalised(h, l, binomial.e);
        }
        const scaled seed = times(times(root(binomial), power_at(angle, false, m + mp)), power_at(angle, true, m - mp));
        r.prev_hi[i] = r.prev_lo[i] = 0;
        if (seed.hi == 0 || seed.e >= -plain_limit) {
            r.hi[i] = std::ldexp(seed.hi, seed.e);
            r.lo[i] = std::ldexp(seed.lo, seed.e);
            r.scale[i] = 0;
        } else {
            r.hi[i] = seed.hi;
            r.lo[i] = seed.lo;
            r.scale[i] = seed.e;
        }
    }
    return c;
}

void column_sweep_next(column_sweep& c)
{
    const rows_view r = rows_of(c);
    const int j = c.j, m = c.m;
    if (c.rows == 0) {
        c.j = j + 1;
        return;
    }
    if (j == 0) {
        // Column 0 at J = 0: d^1_{00} = cos beta.
        r.prev_hi[0] = r.hi[0];
        r.prev_lo[0] = r.lo[0];
        r.hi[0] = c.angle.cos_beta[0];
        r.lo[0] = c.angle.cos_beta[1];
        c.j = 1;
        return;
    }
    // The column's factors of the step:
    //   a = (2J+1)(J+1) / r_{J+1}(m), times cos beta and times m / (J (J+1));
    //   b = ((J+1) / J) r_J(m) / r_{J+1}(m).
    // Row m' then takes d^{J+1} = (a cos beta - m' a m / (J (J+1))) / r_{J+1}(m') d^J
    //                           - b r_J(m') / r_{J+1}(m') d^{J-1}.
    const double* fm = c.factors + factor_at(j, m);
    double ah, al, ach, acl, amh, aml, th, tl, bh, bl;
    dd::mul(fm[0], fm[1], static_cast<double>(2 * j + 1) * (j + 1), ah, al);
    dd::mul(ah, al, c.angle.cos_beta[0], c.angle.cos_beta[1], ach, acl);
    dd::quotient(static_cast<double>(m), 0.0, static_cast<double>(j) * (j + 1), th, tl);
    dd::mul(ah, al, th, tl, amh, aml);
    dd::quotient(static_cast<double>(j + 1), 0.0, static_cast<double>(j), th, tl);
    dd::mul(fm[2], fm[3], th, tl, bh, bl);
    int scaled_rows = 0;
    for (int i = 0; i < c.rows; ++i) {
        const int mp = c.first_row + 2 * i;
        const double* fk = c.factors + factor_at(j, std::abs(mp));
        double xh, xl, yh, yl, uh, ul, vh, vl, nh, nl;
        dd::mul(amh, aml, static_cast<double>(mp), xh, xl);
        dd::add(ach, acl, -xh, -xl, xh, xl);
        dd::mul(fk[0], fk[1], xh, xl, yh, yl);
        dd::mul(yh, yl, r.hi[i], r.lo[i], uh, ul);
        dd::mul(bh, bl, fk[2], fk[3], yh, yl);
        dd::mul(yh, yl, r.prev_hi[i], r.prev_lo[i], vh, vl);
        dd::add(uh, ul, -vh, -vl, nh, nl);
        r.prev_hi[i] = r.hi[i];
        r.prev_lo[i] = r.lo[i];
        r.hi[i] = nh;
        r.lo[i] = nl;
        scaled_rows += r.scale[i] < 0 ? 1 : 0;
    }
    c.j = j + 1;
    if (scaled_rows == 0) return;
    // Powers of two scale both values of a row exactly: to plain values once
    // they are large enough, by 2^-rescale_step while they are not.
    for (int i = 0; i < c.rows; ++i) {
        if (r.scale[i] == 0) continue;
        int k;
        std::frexp(r.hi[i], &k);
        const int e = static_cast<int>(r.scale[i]);
        int shift, scale;
        if (k + e >= -plain_limit) {
            shift = e;
            scale = 0;
        } else if (k > rescale_step) {
            shift = -rescale_step;
            scale = e + rescale_step;
        } else {
            continue;
        }
        for (double* x : {r.hi + i, r.lo + i, r.prev_hi + i, r.prev_lo + i}) *x = std::ldexp(*x, shift);
        r.scale[i] = scale;
    }
}

double column_sweep_element(const column_sweep& c, int i)
{
    const rows_view r = rows_of(c);
    const double v = dd::round(r.hi[i], r.lo[i]);
    return r.scale[i] == 0 ? v : std::ldexp(v, static_cast<int>(r.scale[i]));
}

}  // namespace routines::wigner
