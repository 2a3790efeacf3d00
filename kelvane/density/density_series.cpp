// The double-double steps are templates that the vector kernels below
// instantiate with AVX vectors; they are always inlined into kernels of the
// same target, so no vector crosses a call and the warning about the calling
// convention of such calls does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

#include "kelvane/density/density_series.hpp"

#include <quadmath.h>

#include <algorithm>
#include <cstdlib>

#include "kelvane/density/block_combination.hpp"
#include "kelvane/density/euler_grid.hpp"
#include "routines/double_double.hpp"

namespace kelvane {

namespace dd = routines::dd;
using routines::block_first_k;
using routines::block_order;

namespace {

constexpr int moments = 3;          // density, energy, energy square
constexpr int dd_size = dd::split_size;   // doubles of a double-double in the kept form
constexpr int parts = 8;            // cos and sin, each in the kept form

// Q is symmetric in (k1, k2): its upper triangle, row after row, n (n + 1) / 2
// elements of (hi, lo) per moment.
std::int64_t triangle(std::int64_t n) { return n * (n + 1) / 2; }
std::int64_t packed(int n, int k1, int k2)
{
    if (k1 > k2) std::swap(k1, k2);
    return static_cast<std::int64_t>(k1) * (2 * n - k1 + 1) / 2 + (k2 - k1);
}

}  // namespace

series_k_class series_class(int jtop, parity par)
{
    series_k_class c;
    c.k1_low = routines::parity_index(par);
    if (jtop < 0) return c;
    c.klo = -jtop + (jtop + c.k1_low) % 2;
    if (c.klo > jtop) return c;
    c.count = -c.klo + 1;
    c.rows = (-c.klo - c.k1_low) / 2 + 1;
    return c;
}

// ---- Cosines and sines ------------------------------------------------------

void reserve_series_angles(series_angle_table& t, int kmax)
{
    t.kmax = kmax;
    const auto ks = static_cast<std::size_t>(kmax + 1);
    t.by_angle.resize(static_cast<std::size_t>(series_angles) * ks * parts);
    t.by_chi.resize(ks * parts * series_chi_width);
}

void fill_series_angles(series_angle_table& t, int first, int end)
{
    const auto ks = static_cast<std::size_t>(t.kmax + 1);
    for (int i = first; i < end; ++i) {
        const __float128 x = grid_angle(i);
        for (int k = 0; k <= t.kmax; ++k) {
            // k x is exact in binary128 (64 bits of product against 113).
            __float128 s, c;
            sincosq(static_cast<__float128>(k) * x, &s, &c);
            double* at = t.by_angle.data() + (static_cast<std::size_t>(i) * ks + static_cast<std::size_t>(k)) * parts;
            dd::settle_quad(c, at);
            dd::settle_quad(s, at + dd_size);
            if (i >= series_chi_width) continue;
            for (int p = 0; p < parts; ++p)
                t.by_chi[(static_cast<std::size_t>(k) * parts + static_cast<std::size_t>(p)) * series_chi_width
                         + static_cast<std::size_t>(i)] = at[p];
        }
    }
}

// ---- Level coefficients -----------------------------------------------------

void reserve_series_coefficients(series_coefficients& q, int jmax, parity par)
{
    q.par = par;
    q.jtop = -1;
    q.start.assign(static_cast<std::size_t>(jmax) + 2, 0);
    for (int j = 0; j <= jmax; ++j) {
        const std::int64_t n = block_order(j, par);
        q.start[static_cast<std::size_t>(j) + 1] = q.start[static_cast<std::size_t>(j)] + moments * triangle(n) * 2;
    }
    q.kept.assign(static_cast<std::size_t>(jmax) + 1, 0);
    q.value.resize(static_cast<std::size_t>(q.start.back()));
}

void begin_series_coefficients(series_coefficients& q, const block_plan& plan)
{
    q.jtop = plan.jtop;
    for (std::size_t j = 0; j < q.kept.size(); ++j)
        q.kept[j] = static_cast<int>(j) <= plan.jtop && j + 1 < plan.first.size() && plan.first[j + 1] > plan.first[j] ? 1 : 0;
}

// Q_m^J(k1, k2) = w_J sum_i g_m,i c_i(k1) c_i(k2), g_0 = b, g_1 = b E, g_2 = b E E,
// each level's product taken as (g_m c(k1)) c(k2) in double-double and
// summed over the levels in stored order; the matrix is symmetric, so the
// upper triangle alone is summed and kept.
void fill_series_coefficients(series_coefficients& q, const block_plan& plan, int jfirst, int jend)
{
    for (int j = std::max(jfirst, 0); j < std::min(jend, q.jtop + 1); ++j) {
        if (!q.kept[static_cast<std::size_t>(j)]) continue;
        const int n = block_order(j, q.par);
        double* base = q.value.data() + q.start[static_cast<std::size_t>(j)];
        auto element = [&](int m, int k1, int k2) {
            return base + (m * triangle(n) + packed(n, k1, k2)) * 2;
        };
        for (int m = 0; m < moments; ++m)
            for (int k1 = 0; k1 < n; ++k1)
                for (int k2 = k1; k2 < n; ++k2) element(m, k1, k2)[0] = element(m, k1, k2)[1] = 0;

        const int first = plan.first[static_cast<std::size_t>(j)];
        const int last = plan.first[static_cast<std::size_t>(j) + 1];
        for (int k1 = 0; k1 < n; ++k1)
            for (int i = first; i < last; ++i) {
                const planned_level& lv = plan.levels[static_cast<std::size_t>(i)];
                const double b = lv.boltzmann, e = lv.energy, c1 = lv.vec[k1];
                double bu, bd, eu, ed, c1u, c1d;
                dd::split(b, bu, bd);
                dd::split(e, eu, ed);
                dd::split(c1, c1u, c1d);
                // g_1 = b E exactly; g_2 = g_1 E to 2^-106.
                double g[moments][2];
                g[0][0] = b;
                g[0][1] = 0;
                const double p1 = b * e;
                dd::two_sum(p1, dd::product_error(p1, bu, bd, eu, ed), g[1][0], g[1][1]);
                double g1u, g1d;
                dd::split(g[1][0], g1u, g1d);
                const double p2 = g[1][0] * e;
                dd::two_sum(p2, dd::product_error(p2, g1u, g1d, eu, ed) + g[1][1] * e, g[2][0], g[2][1]);
                // v_m = g_m c(k1) in the kept form.
                double v[moments][dd_size];
                for (int m = 0; m < moments; ++m) {
                    double gu, gd;
                    dd::split(g[m][0], gu, gd);
                    const double p = g[m][0] * c1;
                    double s, t;
                    dd::two_sum(p, dd::product_error(p, gu, gd, c1u, c1d) + g[m][1] * c1, s, t);
                    dd::settle(s, t, v[m]);
                }
                for (int k2 = k1; k2 < n; ++k2) {
                    const double c2 = lv.vec[k2];
                    double c2u, c2d;
                    dd::split(c2, c2u, c2d);
                    for (int m = 0; m < moments; ++m) {
                        double* acc = element(m, k1, k2);
                        dd::add_product(acc[0], acc[1], v[m][0], v[m][1], v[m][2], v[m][3], c2, 0.0, c2u, c2d);
                    }
                }
            }

        const double w = (2 * j + 1) / eight_pi_squared;
        double wu, wd;
        dd::split(w, wu, wd);
        for (int m = 0; m < moments; ++m)
            for (int k1 = 0; k1 < n; ++k1)
                for (int k2 = k1; k2 < n; ++k2) {
                    double* at = element(m, k1, k2);
                    double sum[dd_size];
                    dd::settle(at[0], at[1], sum);
                    const double p = w * sum[0];
                    dd::two_sum(p, dd::product_error(p, wu, wd, sum[2], sum[3]) + w * sum[1], at[0], at[1]);
                }
    }
}

// ---- One plane of one block ---------------------------------------------------

void reserve_series_plane(series_plane_block& b, int jmax, parity par)
{
    b.par = par;
    const series_k_class k = series_class(jmax, par);
    b.k = series_class(-1, par);
    b.folded.resize(static_cast<std::size_t>(k.rows) * moments * static_cast<std::size_t>(k.count) * dd_size);
    b.columns.resize(static_cast<std::size_t>(moments) * static_cast<std::size_t>(k.rows) * parts * series_chi_width);
}

void begin_series_plane(series_plane_block& b, const series_coefficients& q)
{
    b.par = q.par;
    b.k = series_class(q.jtop, q.par);
}

// F_m(K1, K2) = sum_J [d^J_{K1 K2} Q_m^J(K1, K2) + d^J_{-K1 -K2} Q_m^J(-K1, -K2)],
// J ascending and, within J, the pair itself before its mirror image; row
// K1 = 0 has no mirror row and takes the first term alone.
void fold_series_rows(series_plane_block& b, const series_coefficients& q, const double* wigner,
                      int row_first, int row_end)
{
    const series_k_class& kc = b.k;
    const auto count = static_cast<std::size_t>(kc.count);
    for (int r = std::max(row_first, 0); r < std::min(row_end, kc.rows); ++r) {
        const int k1_value = kc.k1_low + 2 * r;
        double* row = b.folded.data() + static_cast<std::size_t>(r) * moments * count * dd_size;
        std::fill(row, row + moments * count * dd_size, 0.0);
        std::int64_t offset = 0;
        for (int j = 0; j <= q.jtop; ++j) {
            const int n = block_order(j, q.par);
            const double* d = wigner + offset;
            offset += static_cast<std::int64_t>(n) * n;
            if (j < k1_value || !q.kept[static_cast<std::size_t>(j)]) continue;
            const int k0 = block_first_k(j, q.par);
            const int o = (k0 - kc.klo) / 2;
            const int k1 = (k1_value - k0) / 2, k1_mirror = n - 1 - k1;
            const double* qj = q.value.data() + q.start[static_cast<std::size_t>(j)];
            for (int m = 0; m < moments; ++m)
                for (int k2 = 0; k2 < n; ++k2) {
                    double* acc = row + (static_cast<std::size_t>(m) * count + static_cast<std::size_t>(o + k2)) * dd_size;
                    const double dv = d[k1 * n + k2];
                    const double* qv = qj + (m * triangle(n) + packed(n, k1, k2)) * 2;
                    double du, dl, qu, ql;
                    dd::split(dv, du, dl);
                    dd::split(qv[0], qu, ql);
                    dd::add_product(acc[0], acc[1], dv, 0.0, du, dl, qv[0], qv[1], qu, ql);
                    if (k1_value == 0) continue;
                    const int k2_mirror = n - 1 - k2;
                    const double dm = d[k1_mirror * n + k2_mirror];
                    const double* qm = qj + (m * triangle(n) + packed(n, k1_mirror, k2_mirror)) * 2;
                    dd::split(dm, du, dl);
                    dd::split(qm[0], qu, ql);
                    dd::add_product(acc[0], acc[1], dm, 0.0, du, dl, qm[0], qm[1], qu, ql);
                }
        }
        for (std::size_t e = 0; e < moments * count; ++e) dd::settle(row[e * dd_size], row[e * dd_size + 1], row + e * dd_size);
    }
}

namespace {

// A group's 8 lanes are carried as 8 / W native vectors of W doubles.  Every
// operation acts lane by lane, so a lane sees exactly the roundings of a
// single column or point, and the vector width only decides how many share
// an instruction.
template <int W>
struct lanes {
    typedef double v __attribute__((vector_size(W * sizeof(double)), aligned(8), may_alias));
    static constexpr int count = series_lanes / W;
};

// The lanes at p, read in place (no alignment asked).
template <int W>
inline __attribute__((always_inline)) const typename lanes<W>::v& load(const double* p)
{
    return *reinterpret_cast<const typename lanes<W>::v*>(p);
}

template <int W>
inline __attribute__((always_inline)) void store(double* p, const typename lanes<W>::v& x)
{
    *reinterpret_cast<typename lanes<W>::v*>(p) = x;
}

#define KELVANE_PARTS _Pragma("GCC unroll 8") for (int q = 0; q < lanes<W>::count; ++q)

// The compensated sum (hi, lo) of each lane in the kept form, four rows of
// 96 columns apart.
template <int W>
inline __attribute__((always_inline)) void store_settled(double* out, typename lanes<W>::v hi,
                                                        typename lanes<W>::v lo)
{
    typename lanes<W>::v s, e, u, d;
    dd::two_sum(hi, lo, s, e);
    dd::split(s, u, d);
    store<W>(out, s);
    store<W>(out + series_chi_width, e);
    store<W>(out + 2 * series_chi_width, u);
    store<W>(out + 3 * series_chi_width, d);
}

// C_m and S_m of the rows of one block at the columns of the groups, K2
// ascending; sin(K2 chi) = -sin(|K2| chi) for K2 < 0, the sign carried by F.
template <int W>
inline __attribute__((always_inline)) void columns_kernel(series_plane_block& b, const series_angle_table& t,
                                                         int group_first, int group_end)
{
    using V = typename lanes<W>::v;
    const series_k_class& kc = b.k;
    const auto count = static_cast<std::size_t>(kc.count);
    for (int g = group_first; g < group_end; ++g) {
        const int c0 = g * series_lanes;
        for (int r = 0; r < kc.rows; ++r)
            for (int m = 0; m < moments; ++m) {
                const double* f = b.folded.data() + (static_cast<std::size_t>(r * moments + m) * count) * dd_size;
                V ch[lanes<W>::count], cl[lanes<W>::count], sh[lanes<W>::count], sl[lanes<W>::count];
                KELVANE_PARTS { ch[q] = cl[q] = sh[q] = sl[q] = V{}; }
                for (int i2 = 0; i2 < kc.count; ++i2, f += dd_size) {
                    const int k2 = kc.klo + 2 * i2;
                    const double* cs = t.by_chi.data() + static_cast<std::size_t>(std::abs(k2)) * parts * series_chi_width + c0;
                    const double sign = k2 < 0 ? -1.0 : 1.0;
                    const double s0 = sign * f[0], s1 = sign * f[1], s2 = sign * f[2], s3 = sign * f[3];
                    KELVANE_PARTS {
                        const double* at = cs + q * W;
                        dd::add_product(ch[q], cl[q], f[0], f[1], f[2], f[3], load<W>(at), load<W>(at + series_chi_width),
                                        load<W>(at + 2 * series_chi_width), load<W>(at + 3 * series_chi_width));
                        dd::add_product(sh[q], sl[q], s0, s1, s2, s3, load<W>(at + 4 * series_chi_width),
                                        load<W>(at + 5 * series_chi_width), load<W>(at + 6 * series_chi_width),
                                        load<W>(at + 7 * series_chi_width));
                    }
                }
                double* out = b.columns.data() + (static_cast<std::size_t>(m * kc.rows + r) * parts) * series_chi_width + c0;
                KELVANE_PARTS {
                    store_settled<W>(out + q * W, ch[q], cl[q]);
                    store_settled<W>(out + 4 * series_chi_width + q * W, sh[q], sl[q]);
                }
            }
    }
}

// R, U, V of one block at the lanes of a group: K1 ascending, for each the
// cosine term and then the sine term, rounded to double once at the end.
template <int W>
inline __attribute__((always_inline)) void point_sums(const series_plane_block& b, const series_angle_table& t,
                                                     int iphi, int ichi, double (&out)[moments][series_lanes])
{
    using V = typename lanes<W>::v;
    const series_k_class& kc = b.k;
    const double* row_angles = t.by_angle.data() + static_cast<std::size_t>(iphi) * static_cast<std::size_t>(t.kmax + 1) * parts;
    for (int m = 0; m < moments; ++m) {
        V hi[lanes<W>::count], lo[lanes<W>::count];
        KELVANE_PARTS { hi[q] = lo[q] = V{}; }
        const double* col = b.columns.data() + (static_cast<std::size_t>(m) * static_cast<std::size_t>(kc.rows) * parts) * series_chi_width + ichi;
        for (int r = 0; r < kc.rows; ++r, col += parts * series_chi_width) {
            const double* a = row_angles + static_cast<std::size_t>(kc.k1_low + 2 * r) * parts;
            KELVANE_PARTS {
                const double* at = col + q * W;
                dd::add_product(hi[q], lo[q], a[0], a[1], a[2], a[3], load<W>(at), load<W>(at + series_chi_width),
                                load<W>(at + 2 * series_chi_width), load<W>(at + 3 * series_chi_width));
                dd::add_product(hi[q], lo[q], -a[4], -a[5], -a[6], -a[7], load<W>(at + 4 * series_chi_width),
                                load<W>(at + 5 * series_chi_width), load<W>(at + 6 * series_chi_width),
                                load<W>(at + 7 * series_chi_width));
            }
        }
        KELVANE_PARTS { store<W>(out[m] + q * W, dd::round(hi[q], lo[q])); }
    }
}

template <int W>
inline __attribute__((always_inline)) void groups_kernel(const series_setup& s, std::span<const series_point_group> groups,
                                                        double* rho, double* eng, double* esq,
                                                        series_block_sums* even_sums, series_block_sums* odd_sums)
{
    for (const series_point_group& g : groups) {
        double ev[moments][series_lanes] = {}, od[moments][series_lanes] = {};
        if (s.even && s.even->k.rows > 0) point_sums<W>(*s.even, *s.angles, g.iphi, g.ichi, ev);
        if (s.odd && s.odd->k.rows > 0) point_sums<W>(*s.odd, *s.angles, g.iphi, g.ichi, od);
        for (int l = 0; l < g.count; ++l) {
            const auto at = static_cast<std::size_t>(g.ordinal + l);
            const point_values p = combine_blocks(s.iodevn, ev[0][l], ev[1][l], ev[2][l], od[0][l], od[1][l], od[2][l]);
            rho[at] = p.rho;
            eng[at] = p.eng;
            esq[at] = p.esq;
            if (even_sums) even_sums[at] = {ev[0][l], ev[1][l], ev[2][l]};
            if (odd_sums) odd_sums[at] = {od[0][l], od[1][l], od[2][l]};
        }
    }
}

#undef KELVANE_PARTS

void columns_baseline(series_plane_block& b, const series_angle_table& t, int g0, int g1)
{
    columns_kernel<2>(b, t, g0, g1);
}

// Wider registers only: IEEE addition and multiplication round the same in
// every instruction set, and no multiply-add is ever formed.
__attribute__((target("avx2"))) void columns_avx2(series_plane_block& b, const series_angle_table& t, int g0, int g1)
{
    columns_kernel<4>(b, t, g0, g1);
}

__attribute__((target("avx512f"))) void columns_avx512(series_plane_block& b, const series_angle_table& t, int g0,
                                                       int g1)
{
    columns_kernel<8>(b, t, g0, g1);
}

void groups_baseline(const series_setup& s, std::span<const series_point_group> groups, double* rho, double* eng,
                     double* esq, series_block_sums* es, series_block_sums* os)
{
    groups_kernel<2>(s, groups, rho, eng, esq, es, os);
}

__attribute__((target("avx2"))) void groups_avx2(const series_setup& s, std::span<const series_point_group> groups,
                                                 double* rho, double* eng, double* esq, series_block_sums* es,
                                                 series_block_sums* os)
{
    groups_kernel<4>(s, groups, rho, eng, esq, es, os);
}

__attribute__((target("avx512f"))) void groups_avx512(const series_setup& s,
                                                      std::span<const series_point_group> groups, double* rho,
                                                      double* eng, double* esq, series_block_sums* es,
                                                      series_block_sums* os)
{
    groups_kernel<8>(s, groups, rho, eng, esq, es, os);
}

}  // namespace

void fill_series_columns(series_plane_block& b, const series_angle_table& angles, int group_first, int group_end,
                         simd_path path)
{
    group_first = std::max(group_first, 0);
    group_end = std::min(group_end, series_column_groups);
    switch (path) {
    case simd_path::avx512: columns_avx512(b, angles, group_first, group_end); break;
    case simd_path::avx2: columns_avx2(b, angles, group_first, group_end); break;
    case simd_path::baseline: columns_baseline(b, angles, group_first, group_end); break;
    }
}

// ---- Points -------------------------------------------------------------------

std::vector<series_point_group> list_series_groups()
{
    std::vector<std::int32_t> row_start(plane_side + 1, 0);
    for (int p = 0; p < plane_side; ++p) row_start[static_cast<std::size_t>(p) + 1] = row_start[static_cast<std::size_t>(p)] + region_last_chi(p) + 1;
    std::vector<series_point_group> groups;
    for (int band = 0; band < series_column_groups; ++band)
        for (int p = 0; p < plane_side; ++p) {
            const int first = band * series_lanes;
            const int last = region_last_chi(p);
            if (last < first) continue;
            groups.push_back({static_cast<std::int16_t>(p), static_cast<std::int16_t>(first),
                              static_cast<std::int16_t>(std::min(series_lanes, last + 1 - first)),
                              row_start[static_cast<std::size_t>(p)] + first});
        }
    return groups;
}

void finish_series_groups(const series_setup& setup, std::span<const series_point_group> groups, double* rho,
                          double* eng, double* esq, series_block_sums* even_sums, series_block_sums* odd_sums,
                          simd_path path)
{
    switch (path) {
    case simd_path::avx512: groups_avx512(setup, groups, rho, eng, esq, even_sums, odd_sums); break;
    case simd_path::avx2: groups_avx2(setup, groups, rho, eng, esq, even_sums, odd_sums); break;
    case simd_path::baseline: groups_baseline(setup, groups, rho, eng, esq, even_sums, odd_sums); break;
    }
}

// ---- A run and a plane on one thread ------------------------------------------

void reserve_series(series_run& run, series_plane& plane, int jmax)
{
    reserve_series_angles(run.angles, jmax);
    reserve_series_coefficients(run.even, jmax, parity::even);
    reserve_series_coefficients(run.odd, jmax, parity::odd);
    reserve_series_plane(plane.even, jmax, parity::even);
    reserve_series_plane(plane.odd, jmax, parity::odd);
    run.groups = list_series_groups();
}

std::size_t series_bytes(int jmax)
{
    const auto ks = static_cast<std::size_t>(jmax + 1);
    std::size_t doubles = static_cast<std::size_t>(series_angles) * ks * parts + ks * parts * series_chi_width;
    for (const parity par : routines::both_parities) {
        for (int j = 0; j <= jmax; ++j) {
            doubles += static_cast<std::size_t>(moments * triangle(block_order(j, par)) * 2);
        }
        const series_k_class k = series_class(jmax, par);
        const auto rows = static_cast<std::size_t>(k.rows);
        doubles += rows * moments * static_cast<std::size_t>(k.count) * dd_size + moments * rows * parts * series_chi_width;
    }
    std::size_t groups = 0;
    for (int p = 0; p < plane_side; ++p) groups += static_cast<std::size_t>(region_last_chi(p) / series_lanes + 1);
    return doubles * sizeof(double) + groups * sizeof(series_point_group)
           + 2 * (ks + 1) * (sizeof(std::int64_t) + sizeof(std::uint8_t));
}

void make_series_run(series_run& run, const block_plan* even, const block_plan* odd)
{
    run.has_even = even != nullptr;
    run.has_odd = odd != nullptr;
    const int kmax = std::max(even ? even->jtop : -1, odd ? odd->jtop : -1);
    reserve_series_angles(run.angles, kmax);
    fill_series_angles(run.angles, 0, series_angles);
    if (even) {
        begin_series_coefficients(run.even, *even);
        fill_series_coefficients(run.even, *even, 0, even->jtop + 1);
    }
    if (odd) {
        begin_series_coefficients(run.odd, *odd);
        fill_series_coefficients(run.odd, *odd, 0, odd->jtop + 1);
    }
}

void evaluate_series_plane(const series_run& run, series_plane& plane, const routines::wigner_plane& wigner,
                           int iodevn,
                           double* rho, double* eng, double* esq, series_block_sums* even_sums,
                           series_block_sums* odd_sums, simd_path path)
{
    const bool even = iodevn != 1 && run.has_even, odd = iodevn != 0 && run.has_odd;
    if (even) {
        begin_series_plane(plane.even, run.even);
        fold_series_rows(plane.even, run.even, wigner.block(0, parity::even), 0, plane.even.k.rows);
        fill_series_columns(plane.even, run.angles, 0, series_column_groups, path);
    }
    if (odd) {
        begin_series_plane(plane.odd, run.odd);
        fold_series_rows(plane.odd, run.odd, wigner.block(0, parity::odd), 0, plane.odd.k.rows);
        fill_series_columns(plane.odd, run.angles, 0, series_column_groups, path);
    }
    const series_setup setup{iodevn, even ? &plane.even : nullptr, odd ? &plane.odd : nullptr, &run.angles};
    finish_series_groups(setup, run.groups, rho, eng, esq, even_sums, odd_sums, path);
}

}  // namespace kelvane
