#include "tests/support/density_yardstick.hpp"

#include <algorithm>
#include <cmath>

#include "kelvane/density/euler_grid.hpp"
#include "routines/parallel.hpp"

namespace kelvane {

namespace {

constexpr int moments = 3;

using routines::block_first_k;
using routines::block_order;

void sum_levels(const block_levels& lev, parity par, int jmax, double tau, yardstick_levels::block& out)
{
    out.start.assign(static_cast<std::size_t>(jmax) + 2, 0);
    for (int j = 0; j <= jmax; ++j) {
        const std::int64_t n = block_order(j, par);
        out.start[static_cast<std::size_t>(j) + 1] = out.start[static_cast<std::size_t>(j)] + moments * n * n;
    }
    out.sum.assign(static_cast<std::size_t>(out.start.back()), 0);
    out.abs_sum.assign(static_cast<std::size_t>(out.start.back()), 0.0);
    out.jtop = -1;
    for (int j = 0; j <= jmax; ++j) {
        const int n = block_order(j, par);
        const double w = (2 * j + 1) / 78.95683520871486;
        for (int i = 0; i < n; ++i) {
            const double e = lev.level[static_cast<std::size_t>(lev.level_start[static_cast<std::size_t>(j)] + i)];
            const double* c = &lev.vec[static_cast<std::size_t>(lev.vec_start[static_cast<std::size_t>(j)] + i * n)];
            const double b = std::exp(-tau * e);
            if (w * b < 1e-16) continue;
            out.jtop = j;
            const __float128 g[moments] = {b, static_cast<__float128>(b) * e,
                                           static_cast<__float128>(b) * e * e};
            const double g_abs[moments] = {b, b * std::fabs(e), b * std::fabs(e) * std::fabs(e)};
            for (int m = 0; m < moments; ++m) {
                __float128* s = out.sum.data() + out.start[static_cast<std::size_t>(j)] + static_cast<std::ptrdiff_t>(m) * n * n;
                double* a = out.abs_sum.data() + out.start[static_cast<std::size_t>(j)] + static_cast<std::ptrdiff_t>(m) * n * n;
                for (int k1 = 0; k1 < n; ++k1)
                    for (int k2 = 0; k2 < n; ++k2) {
                        s[k1 * n + k2] += g[m] * c[k1] * c[k2];
                        a[k1 * n + k2] += g_abs[m] * std::fabs(c[k1] * c[k2]);
                    }
            }
        }
    }
}

// The K of one parity within |K| <= jtop: K = klo + 2i, i < count.
struct k_range { int klo = 0, count = 0; };

k_range range_of(int jtop, parity par)
{
    if (jtop < 0) return {};
    const int klo = -jtop + (jtop + routines::parity_index(par)) % 2;
    if (klo > jtop) return {};
    return {klo, -klo + 1};
}

// One block of one plane: the sums over levels and J of every (K1, K2),
// then row by row the sums over K1 and point by point those over K2.
void block_plane(const yardstick_levels& y, parity par, std::span<const double> wigtab,
                 std::span<yardstick_point> points, int threads)
{
    const yardstick_levels::block& lb = par == parity::odd ? y.odd : y.even;
    const k_range kr = range_of(lb.jtop, par);
    const auto count = static_cast<std::size_t>(kr.count);
    auto member = [&](yardstick_point& p) -> yardstick_block& { return par == parity::odd ? p.odd : p.even; };
    if (count == 0) {
        for (auto& p : points) member(p) = {};
        return;
    }
    std::vector<__float128> a(moments * count * count, 0);
    std::vector<double> a_abs(moments * count * count, 0.0);
    const auto side = static_cast<std::size_t>(2 * y.jmax + 1);
    const auto nj = static_cast<std::size_t>(y.jmax + 1);
    for (int j = 0; j <= lb.jtop; ++j) {
        const int n = block_order(j, par), k0 = block_first_k(j, par);
        const double w = (2 * j + 1) / 78.95683520871486;
        for (int m = 0; m < moments; ++m)
            for (int k1 = 0; k1 < n; ++k1)
                for (int k2 = 0; k2 < n; ++k2) {
                    const int big1 = k0 + 2 * k1, big2 = k0 + 2 * k2;
                    const double d = wigtab[static_cast<std::size_t>(j) + nj * (static_cast<std::size_t>(big1 + y.jmax)
                                                                              + side * static_cast<std::size_t>(big2 + y.jmax))];
                    const std::size_t from = static_cast<std::size_t>(lb.start[static_cast<std::size_t>(j)]
                                                                      + (static_cast<std::int64_t>(m) * n + k1) * n + k2);
                    const std::size_t to = (static_cast<std::size_t>(m) * count + static_cast<std::size_t>((big1 - kr.klo) / 2)) * count
                                           + static_cast<std::size_t>((big2 - kr.klo) / 2);
                    a[to] += static_cast<__float128>(w) * d * lb.sum[from];
                    a_abs[to] += w * std::fabs(d) * lb.abs_sum[from];
                }
    }

    std::vector<std::int32_t> row_start(plane_side + 1, 0);
    for (int p = 0; p < plane_side; ++p)
        row_start[static_cast<std::size_t>(p) + 1] = row_start[static_cast<std::size_t>(p)] + region_last_chi(p) + 1;
    auto trig = [&](const std::vector<__float128>& t, int k, int i) {
        return t[static_cast<std::size_t>(k + y.kmax) * plane_side + static_cast<std::size_t>(i)];
    };

    routines::for_each_item(threads, plane_side, [&](int, int p) {
        std::vector<__float128> dc(moments * count), ds(moments * count);
        std::vector<double> hc(moments * count), hs(moments * count);
        {
            for (int m = 0; m < moments; ++m)
                for (std::size_t i2 = 0; i2 < count; ++i2) {
                    __float128 sc = 0, ss = 0;
                    double tc = 0, ts = 0;
                    for (std::size_t i1 = 0; i1 < count; ++i1) {
                        const int k1 = kr.klo + 2 * static_cast<int>(i1);
                        const std::size_t at = (static_cast<std::size_t>(m) * count + i1) * count + i2;
                        const __float128 c = trig(y.cos_kx, k1, p), s = trig(y.sin_kx, k1, p);
                        sc += a[at] * c;
                        ss += a[at] * s;
                        tc += a_abs[at] * std::fabs(static_cast<double>(c));
                        ts += a_abs[at] * std::fabs(static_cast<double>(s));
                    }
                    dc[static_cast<std::size_t>(m) * count + i2] = sc;
                    ds[static_cast<std::size_t>(m) * count + i2] = ss;
                    hc[static_cast<std::size_t>(m) * count + i2] = tc;
                    hs[static_cast<std::size_t>(m) * count + i2] = ts;
                }
            for (int c = 0; c <= region_last_chi(p); ++c) {
                double value[moments], size[moments];
                for (int m = 0; m < moments; ++m) {
                    __float128 s = 0;
                    double t = 0;
                    for (std::size_t i2 = 0; i2 < count; ++i2) {
                        const int k2 = kr.klo + 2 * static_cast<int>(i2);
                        const std::size_t at = static_cast<std::size_t>(m) * count + i2;
                        const __float128 cc = trig(y.cos_kx, k2, c), sc = trig(y.sin_kx, k2, c);
                        s += dc[at] * cc - ds[at] * sc;
                        t += hc[at] * std::fabs(static_cast<double>(cc)) + hs[at] * std::fabs(static_cast<double>(sc));
                    }
                    value[m] = static_cast<double>(s);
                    size[m] = t;
                }
                member(points[static_cast<std::size_t>(row_start[static_cast<std::size_t>(p)] + c)]) =
                    {value[0], value[1], value[2], size[0], size[1], size[2]};
            }
        }
    });
}

}  // namespace

yardstick_levels make_yardstick_levels(const rotlev& levels, double tau)
{
    yardstick_levels y;
    y.jmax = levels.jmax;
    sum_levels(levels.even, parity::even, levels.jmax, tau, y.even);
    sum_levels(levels.odd, parity::odd, levels.jmax, tau, y.odd);
    y.kmax = std::max(y.even.jtop, y.odd.jtop);
    if (y.kmax < 0) return y;
    const auto ks = static_cast<std::size_t>(2 * y.kmax + 1);
    y.cos_kx.resize(ks * plane_side);
    y.sin_kx.resize(ks * plane_side);
    for (int k = -y.kmax; k <= y.kmax; ++k)
        for (int i = 0; i < plane_side; ++i) {
            // Past 180 degrees the negated angle of 360 - i, as the Fourier
            // evaluation takes it (the double angles of i and 360 - i are not
            // exact complements).
            const int index = i > 180 ? 360 - i : i;
            const double angle = (index * 3.141592653589793) / 180;
            const __float128 x = static_cast<__float128>(k) * (i > 180 ? -angle : angle);
            y.cos_kx[static_cast<std::size_t>(k + y.kmax) * plane_side + static_cast<std::size_t>(i)] = cosq(x);
            y.sin_kx[static_cast<std::size_t>(k + y.kmax) * plane_side + static_cast<std::size_t>(i)] = sinq(x);
        }
    return y;
}

void yardstick_plane(const yardstick_levels& y, std::span<const double> wigtab, std::span<yardstick_point> points,
                     int threads)
{
    threads = std::max(threads, 1);
    block_plane(y, parity::even, wigtab, points, threads);
    block_plane(y, parity::odd, wigtab, points, threads);
}

point_values yardstick_values(int iodevn, const yardstick_point& p)
{
    return combine_blocks(*block_selection::of(iodevn), p.even.r, p.even.u, p.even.v, p.odd.r, p.odd.u, p.odd.v);
}

}  // namespace kelvane
