#pragma GCC diagnostic ignored "-Wpsabi"   // see simd.hpp

#include "kelvane/density/fourier_series.hpp"

#include <quadmath.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <span>
#include <stdexcept>

#include "routines/double_double.hpp"
#include "routines/parallel.hpp"

namespace kelvane {

namespace dd = routines::dd;
using routines::block_first_k;
using routines::block_order;

namespace {

using angle_table = fourier_series_evaluator::angle_table;
using coefficients = fourier_series_evaluator::coefficients;
using plane_block = fourier_series_evaluator::plane_block;
using point_group = fourier_series_evaluator::point_group;

constexpr int moments = 3;          // density, energy, energy square
constexpr int dd_size = dd::split_size;   // doubles of a double-double in the kept form
constexpr int parts = 8;            // cos and sin, each in the kept form

// Points share an instruction in groups of `lanes_per_group` chi columns; the
// columns of the reduced region (ichi 0..90) are padded to chi_width.
constexpr int lanes_per_group = 8;
constexpr int chi_width = 96;
constexpr int column_groups = chi_width / lanes_per_group;
constexpr int angle_count = plane_side;   // x = grid_angle(i), i = 0..360
constexpr int angles_computed = 181;      // i = 0..180; the others mirror them

// Work items: rows of F and column groups one at a time, point groups in runs
// of this many.
constexpr int groups_per_item = 16;

template <int W>
using group = lanes<W, lanes_per_group>;

// Q is symmetric in (k1, k2): its upper triangle, row after row, n (n + 1) / 2
// elements of (hi, lo) per moment.
std::int64_t triangle(std::int64_t n) { return n * (n + 1) / 2; }
std::int64_t packed(int n, int k1, int k2)
{
    if (k1 > k2) std::swap(k1, k2);
    return static_cast<std::int64_t>(k1) * (2 * n - k1 + 1) / 2 + (k2 - k1);
}

// ---- Cosines and sines ------------------------------------------------------

void reserve_angles(routines::storage& st, angle_table& t, int jmax)
{
    const auto ks = static_cast<std::size_t>(jmax + 1);
    st.take(t.by_angle, static_cast<std::size_t>(angle_count) * ks * parts);
    st.take(t.by_chi, ks * parts * chi_width);
}

// The angles i in [first, end) of 0..180, K up to t.kmax, and with them the
// angles 360 - i.  A grid angle past 180 degrees is taken as the negated
// angle, so that its cosine is the same double-double and its sine the exact
// negation (the kept form of -s is that of s negated, its zero parts staying
// +0): the Fourier sums then give exactly the same bits at (phi, chi) and
// (-phi, -chi), and 360 degrees is 0.  (The double angle of index 360 - i is
// not exactly 2 pi less the one of index i, and their cosines and sines would
// differ in the last bits.)
void fill_angles(angle_table& t, int first, int end)
{
    const auto ks = static_cast<std::size_t>(t.kmax + 1);
    auto row = [&](int i) { return t.by_angle.data() + static_cast<std::size_t>(i) * ks * parts; };
    for (int i = first; i < end; ++i) {
        const __float128 x = grid_angle(i);
        for (int k = 0; k <= t.kmax; ++k) {
            // k x is exact in binary128 (64 bits of product against 113).
            __float128 s, c;
            sincosq(static_cast<__float128>(k) * x, &s, &c);
            double* at = row(i) + static_cast<std::size_t>(k) * parts;
            dd::settle_quad(c, at);
            dd::settle_quad(s, at + dd_size);
            if (i < 180) {
                double* mirror = row(360 - i) + static_cast<std::size_t>(k) * parts;
                for (int p = 0; p < dd_size; ++p) mirror[p] = at[p];
                for (int p = dd_size; p < parts; ++p) mirror[p] = at[p] != 0 ? -at[p] : at[p];
            }
            if (i >= chi_width) continue;
            for (int p = 0; p < parts; ++p)
                t.by_chi[(static_cast<std::size_t>(k) * parts + static_cast<std::size_t>(p)) * chi_width
                         + static_cast<std::size_t>(i)] = at[p];
        }
    }
}

// ---- Level coefficients -----------------------------------------------------

void reserve_coefficients(routines::storage& st, coefficients& q, int jmax, parity par)
{
    q.par = par;
    q.jtop = -1;
    std::int64_t values = 0;
    for (int j = 0; j <= jmax; ++j) values += moments * triangle(block_order(j, par)) * 2;
    st.take(q.start, static_cast<std::size_t>(jmax) + 2);
    st.take(q.kept, static_cast<std::size_t>(jmax) + 1);
    st.take(q.value, static_cast<std::size_t>(values));
    if (!st.takes()) return;
    for (int j = 0; j <= jmax; ++j) {
        const std::int64_t n = block_order(j, par);
        q.start[static_cast<std::size_t>(j) + 1] = q.start[static_cast<std::size_t>(j)] + moments * triangle(n) * 2;
    }
}

// Takes the plan's top J and which J keep levels.
void begin_coefficients(coefficients& q, const block_plan& plan)
{
    q.jtop = plan.jtop;
    for (std::size_t j = 0; j < q.kept.size(); ++j)
        q.kept[j] = static_cast<int>(j) <= plan.jtop && j + 1 < plan.first.size() && plan.first[j + 1] > plan.first[j] ? 1 : 0;
}

// Q_m^J(k1, k2) = w_J sum_i g_m,i c_i(k1) c_i(k2), g_0 = b, g_1 = b E, g_2 = b E E,
// each level's product taken as (g_m c(k1)) c(k2) in double-double and
// summed over the levels in stored order; the matrix is symmetric, so the
// upper triangle alone is summed and kept.
void fill_coefficients(coefficients& q, const block_plan& plan, int jfirst, int jend)
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

        const double w = j_weight(j);
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

void reserve_plane_block(routines::storage& st, plane_block& b, int jmax, parity par)
{
    b.par = par;
    const k_class k = k_class_of(jmax, par);
    b.k = k_class_of(-1, par);
    st.take(b.folded, static_cast<std::size_t>(k.rows) * moments * static_cast<std::size_t>(k.count) * dd_size);
    st.take(b.columns, static_cast<std::size_t>(moments) * static_cast<std::size_t>(k.rows) * parts * chi_width);
}

void begin_plane_block(plane_block& b, const coefficients& q)
{
    b.par = q.par;
    b.k = k_class_of(q.jtop, q.par);
}

// F_m(K1, K2) = sum_J [d^J_{K1 K2} Q_m^J(K1, K2) + d^J_{-K1 -K2} Q_m^J(-K1, -K2)],
// J ascending and, within J, the pair itself before its mirror image; row
// K1 = 0 has no mirror row and takes the first term alone.
// The rows [row_first, row_end) from the plane's Wigner block table of the
// same parity, filled up to the top J of the coefficients.
void fold_rows(plane_block& b, const coefficients& q, const double* wigner, int row_first, int row_end)
{
    const k_class& kc = b.k;
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

// The compensated sum (hi, lo) of each lane in the kept form, four rows of
// 96 columns apart.
template <int W>
inline __attribute__((always_inline)) void store_settled(double* out, typename group<W>::v hi,
                                                        typename group<W>::v lo)
{
    typename group<W>::v s, e, u, d;
    dd::two_sum(hi, lo, s, e);
    dd::split(s, u, d);
    store<W>(out, s);
    store<W>(out + chi_width, e);
    store<W>(out + 2 * chi_width, u);
    store<W>(out + 3 * chi_width, d);
}

// C_m and S_m of the rows of one block at the columns of the groups, K2
// ascending; sin(K2 chi) = -sin(|K2| chi) for K2 < 0, the sign carried by F.
template <int W>
inline __attribute__((always_inline)) void columns_kernel(plane_block& b, const angle_table& t,
                                                         int group_first, int group_end)
{
    using V = typename group<W>::v;
    const k_class& kc = b.k;
    const auto count = static_cast<std::size_t>(kc.count);
    for (int g = group_first; g < group_end; ++g) {
        const int c0 = g * lanes_per_group;
        for (int r = 0; r < kc.rows; ++r)
            for (int m = 0; m < moments; ++m) {
                const double* f = b.folded.data() + (static_cast<std::size_t>(r * moments + m) * count) * dd_size;
                V ch[group<W>::count], cl[group<W>::count], sh[group<W>::count], sl[group<W>::count];
                KELVANE_EACH_VECTOR(group<W>) { ch[q] = cl[q] = sh[q] = sl[q] = V{}; }
                for (int i2 = 0; i2 < kc.count; ++i2, f += dd_size) {
                    const int k2 = kc.klo + 2 * i2;
                    const double* cs = t.by_chi.data() + static_cast<std::size_t>(std::abs(k2)) * parts * chi_width + c0;
                    const double sign = k2 < 0 ? -1.0 : 1.0;
                    const double s0 = sign * f[0], s1 = sign * f[1], s2 = sign * f[2], s3 = sign * f[3];
                    KELVANE_EACH_VECTOR(group<W>) {
                        const double* at = cs + q * W;
                        dd::add_product(ch[q], cl[q], f[0], f[1], f[2], f[3], load<W>(at), load<W>(at + chi_width),
                                        load<W>(at + 2 * chi_width), load<W>(at + 3 * chi_width));
                        dd::add_product(sh[q], sl[q], s0, s1, s2, s3, load<W>(at + 4 * chi_width),
                                        load<W>(at + 5 * chi_width), load<W>(at + 6 * chi_width),
                                        load<W>(at + 7 * chi_width));
                    }
                }
                double* out = b.columns.data() + (static_cast<std::size_t>(m * kc.rows + r) * parts) * chi_width + c0;
                KELVANE_EACH_VECTOR(group<W>) {
                    store_settled<W>(out + q * W, ch[q], cl[q]);
                    store_settled<W>(out + 4 * chi_width + q * W, sh[q], sl[q]);
                }
            }
    }
}

// R, U, V of one block at the lanes of a group: K1 ascending, for each the
// cosine term and then the sine term, rounded to double once at the end.
template <int W>
inline __attribute__((always_inline)) void point_sums(const plane_block& b, const angle_table& t,
                                                     int iphi, int ichi, double (&out)[moments][lanes_per_group])
{
    using V = typename group<W>::v;
    const k_class& kc = b.k;
    const double* row_angles = t.by_angle.data() + static_cast<std::size_t>(iphi) * static_cast<std::size_t>(t.kmax + 1) * parts;
    for (int m = 0; m < moments; ++m) {
        V hi[group<W>::count], lo[group<W>::count];
        KELVANE_EACH_VECTOR(group<W>) { hi[q] = lo[q] = V{}; }
        const double* col = b.columns.data() + (static_cast<std::size_t>(m) * static_cast<std::size_t>(kc.rows) * parts) * chi_width + ichi;
        for (int r = 0; r < kc.rows; ++r, col += parts * chi_width) {
            const double* a = row_angles + static_cast<std::size_t>(kc.k1_low + 2 * r) * parts;
            KELVANE_EACH_VECTOR(group<W>) {
                const double* at = col + q * W;
                dd::add_product(hi[q], lo[q], a[0], a[1], a[2], a[3], load<W>(at), load<W>(at + chi_width),
                                load<W>(at + 2 * chi_width), load<W>(at + 3 * chi_width));
                dd::add_product(hi[q], lo[q], -a[4], -a[5], -a[6], -a[7], load<W>(at + 4 * chi_width),
                                load<W>(at + 5 * chi_width), load<W>(at + 6 * chi_width),
                                load<W>(at + 7 * chi_width));
            }
        }
        KELVANE_EACH_VECTOR(group<W>) { store<W>(out[m] + q * W, dd::round(hi[q], lo[q])); }
    }
}

// The block sums of the groups' points, each rounded to double once, and
// rhopro, erotpr, erotsq from them, at the points' region positions.  A block
// that is not summed (null) has zero sums.
template <int W>
inline __attribute__((always_inline)) void groups_kernel(block_selection blocks, const plane_block* even,
                                                        const plane_block* odd, const angle_table& angles,
                                                        std::span<const point_group> groups, region_values& out)
{
    for (const point_group& g : groups) {
        double ev[moments][lanes_per_group] = {}, od[moments][lanes_per_group] = {};
        if (even && even->k.rows > 0) point_sums<W>(*even, angles, g.iphi, g.ichi, ev);
        if (odd && odd->k.rows > 0) point_sums<W>(*odd, angles, g.iphi, g.ichi, od);
        for (int l = 0; l < g.count; ++l)
            put_point(out, static_cast<std::size_t>(g.ordinal + l), blocks, {ev[0][l], ev[1][l], ev[2][l]},
                      {od[0][l], od[1][l], od[2][l]});
    }
}

// The point groups of the reduced region in their order, f(group) for each.
template <class F>
void for_each_point_group(F&& f)
{
    std::array<std::int32_t, plane_side + 1> row_start{};
    for (int p = 0; p < plane_side; ++p)
        row_start[static_cast<std::size_t>(p) + 1] = row_start[static_cast<std::size_t>(p)] + region_last_chi(p) + 1;
    for (int band = 0; band < column_groups; ++band)
        for (int p = 0; p < plane_side; ++p) {
            const int first = band * lanes_per_group;
            const int last = region_last_chi(p);
            if (last < first) continue;
            f(point_group{static_cast<std::int16_t>(p), static_cast<std::int16_t>(first),
                          static_cast<std::int16_t>(std::min(lanes_per_group, last + 1 - first)),
                          row_start[static_cast<std::size_t>(p)] + first});
        }
}

}  // namespace

void fourier_series_evaluator::reserve(routines::storage& s)
{
    // The plans hold the level set's J; everything after them only the J
    // whose levels can pass the weight cut.
    const int jmax = settings_.jmax, jtop = settings_.jtop;
    reserve_block_plans(s, plans_, jmax);
    reserve_angles(s, angles_, jtop);
    reserve_coefficients(s, even_q_, jtop, parity::even);
    reserve_coefficients(s, odd_q_, jtop, parity::odd);
    reserve_plane_block(s, even_, jtop, parity::even);
    reserve_plane_block(s, odd_, jtop, parity::odd);
    std::size_t groups = 0;
    for_each_point_group([&](const point_group&) { ++groups; });
    s.take(groups_, groups);
    if (!s.takes()) return;
    std::size_t at = 0;
    for_each_point_group([&](const point_group& g) { groups_[at++] = g; });
}

void fourier_series_evaluator::plan(const rotlev& levels, double tau)
{
    // The block plans, then the run-wide tables: cos and sin of K x for every
    // grid angle, and the level coefficients of every J, each item on any
    // worker.
    const bool even = settings_.blocks.has(parity::even), odd = settings_.blocks.has(parity::odd);
    make_block_plans(plans_, levels, settings_.blocks, tau);
    const std::array<int, 2> tops = wigner_tops();
    angles_.kmax = std::max(tops[0], tops[1]);
    if (angles_.kmax > settings_.jtop)
        throw std::logic_error("the weight cut keeps a level above the J it was reckoned to stop at");
    if (even) begin_coefficients(even_q_, plans_.even);
    if (odd) begin_coefficients(odd_q_, plans_.odd);
    const int js = settings_.jtop + 1;
    routines::for_each_item(settings_.threads, angles_computed + 2 * js, [&](int, int item) {
        if (item < angles_computed) return fill_angles(angles_, item, item + 1);
        const int j = settings_.jtop - (item - angles_computed) / 2;   // the largest J first
        if ((item - angles_computed) % 2 == 0) {
            if (even) fill_coefficients(even_q_, plans_.even, j, j + 1);
        } else if (odd) {
            fill_coefficients(odd_q_, plans_.odd, j, j + 1);
        }
    });
}

void fourier_series_evaluator::evaluate(const routines::wigner_plane& wigner, region_values& out,
                                        plane_progress& progress)
{
    // F and the C and S columns of each block, then every point, each step
    // shared over the workers.  The points are taken column band by column
    // band, so every row is announced before the first.
    plane_block* blocks[2] = {settings_.blocks.has(parity::even) ? &even_ : nullptr,
                              settings_.blocks.has(parity::odd) ? &odd_ : nullptr};
    const coefficients* q[2] = {&even_q_, &odd_q_};
    for (int b = 0; b < 2; ++b)
        if (blocks[b]) begin_plane_block(*blocks[b], *q[b]);
    const int even_rows = blocks[0] ? blocks[0]->k.rows : 0, odd_rows = blocks[1] ? blocks[1]->k.rows : 0;
    const int threads = settings_.threads;
    const simd_path path = settings_.path;
    routines::for_each_item(threads, even_rows + odd_rows, [&](int, int r) {
        const int b = r < even_rows ? 0 : 1;
        const int row = b == 0 ? r : r - even_rows;
        fold_rows(*blocks[b], *q[b], wigner.block(0, b == 0 ? parity::even : parity::odd), row, row + 1);
    });
    routines::for_each_item(threads, 2 * column_groups, [&](int, int item) {
        plane_block* block = blocks[item / column_groups];
        const int g = item % column_groups;
        if (block)
            on_path(path, [&]<int W>() __attribute__((always_inline)) { columns_kernel<W>(*block, angles_, g, g + 1); });
    });
    for (int iphi = 0; iphi < plane_side; ++iphi) progress.row_started(iphi);
    const int groups = static_cast<int>(groups_.size());
    routines::for_each_item(threads, (groups + groups_per_item - 1) / groups_per_item, [&](int, int item) {
        const int first = item * groups_per_item;
        const auto run = std::span(groups_).subspan(static_cast<std::size_t>(first),
                                                    static_cast<std::size_t>(std::min(groups_per_item, groups - first)));
        on_path(path, [&]<int W>() __attribute__((always_inline)) {
            groups_kernel<W>(settings_.blocks, blocks[0], blocks[1], angles_, run, out);
        });
    });
}

}  // namespace kelvane
