#include "kelvane/density.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kelvane {

int region_last_chi(int iphi)
{
    if (iphi <= 90) return iphi;
    if (iphi <= 180) return 180 - iphi;
    if (iphi <= 270) return iphi - 180;
    return 360 - iphi;
}

void list_region(std::span<region_point> points)
{
    std::size_t at = 0;
    for (int p = 0; p < plane_side; ++p)
        for (int c = 0; c <= region_last_chi(p); ++c)
            points[at++] = {static_cast<std::int16_t>(p), static_cast<std::int16_t>(c)};
}

void fill_cell_sources(std::span<std::int32_t> source)
{
    for (auto& s : source) s = -1;
    std::int32_t ordinal = 0;
    for (int p = 0; p < plane_side; ++p)
        for (int c = 0; c <= region_last_chi(p); ++c) source[p * plane_side + c] = ordinal++;
    symmetry_copies([&](int to, int from) { source[to] = source[from]; });
}

std::int64_t block_table_size(int jmax, bool odd) { return block_offset(jmax + 1, odd); }

void fill_wigner_block(const routines::wigd_tables& tables, int j, bool odd, double* out, double* size_out)
{
    const int n = odd ? odd_order(j) : even_order(j);
    const int k0 = odd ? odd_first_k(j) : even_first_k(j);
    for (int k1 = 0; k1 < n; ++k1)
        for (int k2 = 0; k2 < n; ++k2) {
            const int at = k1 * n + k2;
            if (size_out) {
                __float128 size = 0;
                out[at] = routines::wigd_tabulated(j, k0 + 2 * k1, k0 + 2 * k2, tables, &size);
                size_out[at] = static_cast<double>(size);
            } else {
                out[at] = routines::wigd_tabulated(j, k0 + 2 * k1, k0 + 2 * k2, tables);
            }
        }
}

std::int64_t block_factor_count(int j, bool odd)
{
    const int n = odd ? odd_order(j) : even_order(j);
    const int k0 = odd ? odd_first_k(j) : even_first_k(j);
    std::int64_t count = 0;
    for (int k1 = 0; k1 < n; ++k1)
        for (int k2 = 0; k2 < n; ++k2) count += routines::wigd_term_count(j, k0 + 2 * k1, k0 + 2 * k2);
    return count;
}

void fill_block_factors(std::span<const double> lnf, int j, bool odd, __float128* factors)
{
    const int n = odd ? odd_order(j) : even_order(j);
    const int k0 = odd ? odd_first_k(j) : even_first_k(j);
    for (int k1 = 0; k1 < n; ++k1)
        for (int k2 = 0; k2 < n; ++k2) {
            routines::fill_wigd_factors(j, k0 + 2 * k1, k0 + 2 * k2, lnf, factors);
            factors += routines::wigd_term_count(j, k0 + 2 * k1, k0 + 2 * k2);
        }
}

void fill_wigner_block_from_factors(const routines::wigd_tables& tables, int j, bool odd,
                                    const __float128* factors, double* out, double* size_out)
{
    const int n = odd ? odd_order(j) : even_order(j);
    const int k0 = odd ? odd_first_k(j) : even_first_k(j);
    for (int k1 = 0; k1 < n; ++k1)
        for (int k2 = 0; k2 < n; ++k2) {
            const int at = k1 * n + k2;
            const int m1 = k0 + 2 * k1, m2 = k0 + 2 * k2;
            if (size_out) {
                __float128 size = 0;
                out[at] = routines::wigd_from_factors(j, m1, m2, factors, tables.cos_pow, tables.nsin_pow, &size);
                size_out[at] = static_cast<double>(size);
            } else {
                out[at] = routines::wigd_from_factors(j, m1, m2, factors, tables.cos_pow, tables.nsin_pow);
            }
            factors += routines::wigd_term_count(j, m1, m2);
        }
}

void reserve_plane_wigner(plane_wigner& w, int jmax)
{
    w.even.resize(static_cast<std::size_t>(block_table_size(jmax, false)));
    w.odd.resize(static_cast<std::size_t>(block_table_size(jmax, true)));
    w.from_recursion_even.resize(w.even.size());
    w.from_recursion_odd.resize(w.odd.size());
    w.marked.assign(2 * static_cast<std::size_t>(jmax + 1), 0);
    w.sweep_work.resize(routines::wigd_work_size(jmax));
    w.limit = routines::wigd_limit_for(jmax);
}

std::size_t plane_wigner_bytes(int jmax)
{
    const auto values = static_cast<std::size_t>(block_table_size(jmax, false) + block_table_size(jmax, true));
    return values * (sizeof(double) + sizeof(std::uint8_t)) + 2 * static_cast<std::size_t>(jmax + 1) * sizeof(std::int32_t)
           + routines::wigd_work_size(jmax) * sizeof(double);
}

void fill_trusted_wigner_block(plane_wigner& w, const routines::wigd_tables& tables,
                               const routines::wigd_screen& screen, int j, bool odd,
                               const __float128* factors)
{
    const int n = odd ? odd_order(j) : even_order(j);
    const int k0 = odd ? odd_first_k(j) : even_first_k(j);
    const std::int64_t offset = block_offset(j, odd);
    double* out = (odd ? w.odd : w.even).data() + offset;
    std::uint8_t* mark = (odd ? w.from_recursion_odd : w.from_recursion_even).data() + offset;
    auto series = [&](int m1, int m2, __float128* abs_sum) {
        return factors ? routines::wigd_from_factors(j, m1, m2, factors, tables.cos_pow, tables.nsin_pow, abs_sum)
                       : routines::wigd_tabulated(j, m1, m2, tables, abs_sum);
    };
    std::int32_t marked = 0;
    for (int k1 = 0; k1 < n; ++k1)
        for (int k2 = 0; k2 < n; ++k2) {
            const int at = k1 * n + k2;
            const int m1 = k0 + 2 * k1, m2 = k0 + 2 * k2;
            double v = 0;
            bool recursion = false;
            switch (routines::wigd_screen_element(j, m1, m2, tables.lnf, screen, w.limit)) {
            case routines::wigd_verdict::series: v = series(m1, m2, nullptr); break;
            case routines::wigd_verdict::recursion: recursion = true; break;
            case routines::wigd_verdict::sum_with_bound: {
                __float128 abs_sum = 0;
                v = series(m1, m2, &abs_sum);
                recursion = !(routines::wigd_series_bound(j, m1, m2, tables.lnf, v, abs_sum)
                              < w.limit);
                break;
            }
            }
            out[at] = recursion ? 0.0 : v;
            mark[at] = recursion ? 1 : 0;
            marked += recursion ? 1 : 0;
            if (factors) factors += routines::wigd_term_count(j, m1, m2);
        }
    w.marked[static_cast<std::size_t>(2 * j + (odd ? 1 : 0))] = marked;
}

void fill_marked_from_recursion(plane_wigner& w, double theta)
{
    int jlast = -1;
    for (std::size_t b = 0; b < w.marked.size(); ++b)
        if (w.marked[b] > 0) jlast = static_cast<int>(b / 2);
    if (jlast < 0) return;
    routines::wigd_sweep sweep = routines::wigd_sweep_start(jlast, theta, w.sweep_work);
    for (int j = 0; j <= jlast; ++j) {
        if (j > 0) routines::wigd_sweep_next(sweep);
        for (bool odd : {false, true}) {
            if (w.marked[static_cast<std::size_t>(2 * j + (odd ? 1 : 0))] == 0) continue;
            const int n = odd ? odd_order(j) : even_order(j);
            const int k0 = odd ? odd_first_k(j) : even_first_k(j);
            const std::int64_t offset = block_offset(j, odd);
            double* out = (odd ? w.odd : w.even).data() + offset;
            const std::uint8_t* mark = (odd ? w.from_recursion_odd : w.from_recursion_even).data() + offset;
            for (int k1 = 0; k1 < n; ++k1)
                for (int k2 = 0; k2 < n; ++k2)
                    if (mark[k1 * n + k2]) out[k1 * n + k2] = routines::wigd_sweep_element(sweep, k0 + 2 * k1, k0 + 2 * k2);
        }
    }
}

void fill_trusted_wigner_plane(plane_wigner& w, const routines::wigd_tables& tables, double theta,
                               int jtop_even, int jtop_odd)
{
    std::fill(w.marked.begin(), w.marked.end(), 0);
    const routines::wigd_screen screen = routines::wigd_screen_of(theta);
    for (int j = 0; j <= std::max(jtop_even, jtop_odd); ++j) {
        if (j <= jtop_even) fill_trusted_wigner_block(w, tables, screen, j, false, nullptr);
        if (j <= jtop_odd) fill_trusted_wigner_block(w, tables, screen, j, true, nullptr);
    }
    fill_marked_from_recursion(w, theta);
}

void reserve_block_plan(block_plan& plan, int jmax)
{
    const auto count = static_cast<std::size_t>(jmax + 1) * static_cast<std::size_t>(jmax + 1);
    plan.levels.reserve(count);
    plan.first.reserve(static_cast<std::size_t>(jmax) + 2);
}

void make_block_plan(block_plan& plan, const block_levels& block, bool odd, int jmax, double tau)
{
    plan.levels.clear();
    plan.first.clear();
    plan.jtop = -1;
    for (int j = 0; j <= jmax; ++j) {
        plan.first.push_back(static_cast<std::int32_t>(plan.levels.size()));
        const int n = odd ? odd_order(j) : even_order(j);
        const double w = (2 * j + 1) / eight_pi_squared;
        for (int i = 0; i < n; ++i) {
            const double e = block.level[static_cast<std::size_t>(block.level_start[j] + i)];
            const double b = std::exp(-tau * e);
            // A product exactly at the cut is kept.
            if (w * b < density_cut) continue;
            plan.levels.push_back({&block.vec[static_cast<std::size_t>(block.vec_start[j] + i * n)], e, b});
            plan.jtop = j;
        }
    }
    plan.first.push_back(static_cast<std::int32_t>(plan.levels.size()));
}

namespace {

// K values of one parity within |K| <= jtop: K = klo + 2i, i = 0..count-1,
// symmetric about 0.
struct k_class {
    int klo = 0;
    int count = 0;
};

k_class parity_class(int jtop, int parity)
{
    if (jtop < 0) return {};
    const int klo = -jtop + (jtop + parity) % 2;
    if (klo > jtop) return {};
    return {klo, (-klo - klo) / 2 + 1};
}

int top_j(const block_plan* plan) { return plan ? plan->jtop : -1; }

}  // namespace

std::size_t group_scratch_size(int jmax)
{
    const auto even = static_cast<std::size_t>(parity_class(jmax, 0).count);
    const auto odd = static_cast<std::size_t>(parity_class(jmax, 1).count);
    return (even * even + odd * odd) * group_width;
}

point_values combine_blocks(int iodevn, double r_even, double u_even, double v_even,
                            double r_odd, double u_odd, double v_odd)
{
    auto estimator = [](double s, double r) { return std::fabs(r) > density_cut ? s / r : 0.0; };
    if (iodevn == 0) return {r_even, estimator(u_even, r_even), estimator(v_even, r_even)};
    if (iodevn == 1) return {r_odd, estimator(u_odd, r_odd), estimator(v_odd, r_odd)};
    const double e_even = estimator(u_even, r_even), q_even = estimator(v_even, r_even);
    const double e_odd = estimator(u_odd, r_odd), q_odd = estimator(v_odd, r_odd);
    const double rho = r_odd + r_even;
    if (std::fabs(rho) < density_cut) return {rho, 0.0, 0.0};
    return {rho, (e_odd * r_odd + e_even * r_even) / rho, (q_odd * r_odd + q_even * r_even) / rho};
}

namespace {

// A group's lanes are carried as group_width / W native vectors of W
// doubles.  Every operation acts lane by lane, so a lane sees the exact
// sequence of roundings of a single point; the vector width only decides how
// many points share an instruction.
template <int W>
struct simd {
    typedef double v __attribute__((vector_size(W * sizeof(double)), aligned(8)));
    static constexpr int count = group_width / W;
    struct group { v part[count]; };
};

template <int W>
using vgroup = typename simd<W>::group;

#define KELVANE_LANES _Pragma("GCC unroll 16") for (int q = 0; q < simd<W>::count; ++q)

// cos(K1 phi + K2 chi) of every pair of one K class, pair (i1, i2) at
// [(i1 count + i2) group_width].  The argument of (-K1, -K2) is exactly the
// negated argument and the cosine is even, so the upper half of the table
// mirrors the lower half.
inline __attribute__((always_inline)) void fill_cosines(const k_class& kc, const double* phi,
                                                       const double* chi, double* cosv)
{
    const int pairs = kc.count * kc.count;
    for (int f = 0; f < (pairs + 1) / 2; ++f) {
        const double k1 = kc.klo + 2 * (f / kc.count);
        const double k2 = kc.klo + 2 * (f % kc.count);
        double* lo = cosv + static_cast<std::ptrdiff_t>(f) * group_width;
        double* hi = cosv + static_cast<std::ptrdiff_t>(pairs - 1 - f) * group_width;
        for (int l = 0; l < group_width; ++l) {
            const double c = std::cos(k1 * phi[l] + k2 * chi[l]);
            lo[l] = c;
            hi[l] = c;
        }
    }
}

// The inner sum over K2 of one row k1 of a block, for every lane:
// sum (cos(K1, K2) c(K2)) d(K1, K2), ascending K2.
template <int W>
inline __attribute__((always_inline)) void row_sum(const vgroup<W>* crow, const double* c,
                                                  const double* wrow, int n, vgroup<W>& acc)
{
    using V = typename simd<W>::v;
    KELVANE_LANES acc.part[q] = V{};
    for (int k2 = 0; k2 < n; ++k2) {
        const double ck = c[k2], wk = wrow[k2];
        KELVANE_LANES acc.part[q] = acc.part[q] + (crow[k2].part[q] * ck) * wk;
    }
}

// Two rows at once: independent sums, interleaved so that their additions
// overlap.  Each keeps its own order.
template <int W>
inline __attribute__((always_inline)) void two_row_sums(const vgroup<W>* crow0, const vgroup<W>* crow1,
                                                       const double* c, const double* wrow0,
                                                       const double* wrow1, int n, vgroup<W>& acc0,
                                                       vgroup<W>& acc1)
{
    using V = typename simd<W>::v;
    KELVANE_LANES acc0.part[q] = V{};
    KELVANE_LANES acc1.part[q] = V{};
    for (int k2 = 0; k2 < n; ++k2) {
        const double ck = c[k2], w0 = wrow0[k2], w1 = wrow1[k2];
        KELVANE_LANES {
            acc0.part[q] = acc0.part[q] + (crow0[k2].part[q] * ck) * w0;
            acc1.part[q] = acc1.part[q] + (crow1[k2].part[q] * ck) * w1;
        }
    }
}

// R, U, V of one block: the density and the first and second energy moments,
// J ascending, levels in stored order, K1 and K2 ascending, each inner sum
// complete before it meets c(K1).
template <int W>
inline __attribute__((always_inline)) void block_sums(const block_plan& plan, bool odd,
                                                     const double* wig, const k_class& kc,
                                                     const double* cosv, vgroup<W>& r,
                                                     vgroup<W>& u, vgroup<W>& v)
{
    using V = typename simd<W>::v;
    const vgroup<W>* cos_pairs = reinterpret_cast<const vgroup<W>*>(cosv);
    KELVANE_LANES {
        r.part[q] = V{};
        u.part[q] = V{};
        v.part[q] = V{};
    }
    std::int64_t offset = 0;
    for (int j = 0; j <= plan.jtop; ++j) {
        const int n = odd ? odd_order(j) : even_order(j);
        const int k0 = odd ? odd_first_k(j) : even_first_k(j);
        const double* wj = wig + offset;
        offset += static_cast<std::int64_t>(n) * n;
        const int first = plan.first[static_cast<std::size_t>(j)];
        const int last = plan.first[static_cast<std::size_t>(j) + 1];
        if (first == last) continue;   // adds 0 to R, U and V, which are never -0
        const vgroup<W>* cj = cos_pairs + static_cast<std::ptrdiff_t>((k0 - kc.klo) / 2) * (kc.count + 1);
        const double w = (2 * j + 1) / eight_pi_squared;
        vgroup<W> s0, s1, s2;
        KELVANE_LANES {
            s0.part[q] = V{};
            s1.part[q] = V{};
            s2.part[q] = V{};
        }
        for (int i = first; i < last; ++i) {
            const planned_level& lv = plan.levels[static_cast<std::size_t>(i)];
            const double* c = lv.vec;
            vgroup<W> t, a0, a1;
            KELVANE_LANES t.part[q] = V{};
            int k1 = 0;
            for (; k1 + 1 < n; k1 += 2) {
                two_row_sums<W>(cj + static_cast<std::ptrdiff_t>(k1) * kc.count,
                                cj + static_cast<std::ptrdiff_t>(k1 + 1) * kc.count, c,
                                wj + static_cast<std::ptrdiff_t>(k1) * n,
                                wj + static_cast<std::ptrdiff_t>(k1 + 1) * n, n, a0, a1);
                const double c0 = c[k1], c1 = c[k1 + 1];
                KELVANE_LANES {
                    t.part[q] = t.part[q] + c0 * a0.part[q];
                    t.part[q] = t.part[q] + c1 * a1.part[q];
                }
            }
            if (k1 < n) {
                row_sum<W>(cj + static_cast<std::ptrdiff_t>(k1) * kc.count, c,
                           wj + static_cast<std::ptrdiff_t>(k1) * n, n, a0);
                const double c0 = c[k1];
                KELVANE_LANES t.part[q] = t.part[q] + c0 * a0.part[q];
            }
            const double b = lv.boltzmann, e = lv.energy;
            KELVANE_LANES {
                const V tb = t.part[q] * b;
                s0.part[q] = s0.part[q] + tb;
                s1.part[q] = s1.part[q] + tb * e;
                s2.part[q] = s2.part[q] + (tb * e) * e;
            }
        }
        KELVANE_LANES {
            r.part[q] = r.part[q] + s0.part[q] * w;
            u.part[q] = u.part[q] + s1.part[q] * w;
            v.part[q] = v.part[q] + s2.part[q] * w;
        }
    }
}

template <int W>
inline __attribute__((always_inline)) void group_kernel(const density_setup& s, const double* phi,
                                                       const double* chi, double* scratch,
                                                       double* rho, double* eng, double* esq,
                                                       int count)
{
    const k_class even_k = parity_class(top_j(s.even), 0);
    const k_class odd_k = parity_class(top_j(s.odd), 1);
    double* cos_even = scratch;
    double* cos_odd = cos_even + static_cast<std::ptrdiff_t>(even_k.count) * even_k.count * group_width;
    vgroup<W> re{}, ue{}, ve{}, ro{}, uo{}, vo{};
    if (s.even) {
        fill_cosines(even_k, phi, chi, cos_even);
        block_sums<W>(*s.even, false, s.wig_even, even_k, cos_even, re, ue, ve);
    }
    if (s.odd) {
        fill_cosines(odd_k, phi, chi, cos_odd);
        block_sums<W>(*s.odd, true, s.wig_odd, odd_k, cos_odd, ro, uo, vo);
    }
    for (int l = 0; l < count; ++l) {
        const int q = l / W, x = l % W;
        const point_values p = combine_blocks(s.iodevn, re.part[q][x], ue.part[q][x], ve.part[q][x],
                                              ro.part[q][x], uo.part[q][x], vo.part[q][x]);
        rho[l] = p.rho;
        eng[l] = p.eng;
        esq[l] = p.esq;
    }
}

#undef KELVANE_LANES

void group_baseline(const density_setup& s, const double* phi, const double* chi, double* scratch,
                    double* rho, double* eng, double* esq, int count)
{
    group_kernel<2>(s, phi, chi, scratch, rho, eng, esq, count);
}

// Wider registers only: IEEE addition and multiplication round the same in
// every instruction set, and no multiply-add is ever formed.
__attribute__((target("avx2"))) void group_avx2(const density_setup& s, const double* phi,
                                                const double* chi, double* scratch, double* rho,
                                                double* eng, double* esq, int count)
{
    group_kernel<4>(s, phi, chi, scratch, rho, eng, esq, count);
}

__attribute__((target("avx512f"))) void group_avx512(const density_setup& s, const double* phi,
                                                     const double* chi, double* scratch,
                                                     double* rho, double* eng, double* esq,
                                                     int count)
{
    group_kernel<8>(s, phi, chi, scratch, rho, eng, esq, count);
}

}  // namespace

bool simd_path_available(simd_path path)
{
    switch (path) {
    case simd_path::baseline: return true;
    case simd_path::avx2: return __builtin_cpu_supports("avx2");
    case simd_path::avx512: return __builtin_cpu_supports("avx512f");
    }
    return false;
}

simd_path best_simd_path()
{
    if (simd_path_available(simd_path::avx512)) return simd_path::avx512;
    if (simd_path_available(simd_path::avx2)) return simd_path::avx2;
    return simd_path::baseline;
}

void evaluate_group(const density_setup& setup, const int* iphi, const int* ichi, int count,
                    std::span<double> scratch, double* rho, double* eng, double* esq,
                    simd_path path)
{
    // Lanes past count repeat the last point; their results are dropped.
    double phi[group_width], chi[group_width];
    for (int l = 0; l < group_width; ++l) {
        const int at = l < count ? l : count - 1;
        phi[l] = grid_angle(iphi[at]);
        chi[l] = grid_angle(ichi[at]);
    }
    switch (path) {
    case simd_path::avx512: group_avx512(setup, phi, chi, scratch.data(), rho, eng, esq, count); break;
    case simd_path::avx2: group_avx2(setup, phi, chi, scratch.data(), rho, eng, esq, count); break;
    case simd_path::baseline: group_baseline(setup, phi, chi, scratch.data(), rho, eng, esq, count); break;
    }
}

}  // namespace kelvane
