#include "density.hpp"

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

// group_width lanes, one grid point each.  Every operation acts lane by lane,
// so a lane sees the exact sequence of roundings of a single point; the
// vector width only decides how many points share an instruction.
typedef double lanes __attribute__((vector_size(group_width * sizeof(double)), aligned(8)));

// cos(K1 phi + K2 chi) of every pair of one K class, pair (i1, i2) at
// [(i1 count + i2) lanes].  The argument of (-K1, -K2) is exactly the
// negated argument and the cosine is even, so the upper half of the table
// mirrors the lower half.
inline __attribute__((always_inline)) void fill_cosines(const k_class& kc, const double* phi,
                                                       const double* chi, lanes* cosv)
{
    const int pairs = kc.count * kc.count;
    for (int f = 0; f < (pairs + 1) / 2; ++f) {
        const double k1 = kc.klo + 2 * (f / kc.count);
        const double k2 = kc.klo + 2 * (f % kc.count);
        lanes v;
        for (int l = 0; l < group_width; ++l) v[l] = std::cos(k1 * phi[l] + k2 * chi[l]);
        cosv[f] = v;
        cosv[pairs - 1 - f] = v;
    }
}

// R, U, V of one block: the density and the first and second energy moments,
// J ascending, levels in stored order, K1 and K2 ascending, each inner sum
// complete before it meets c(K1).
inline __attribute__((always_inline)) void block_sums(const block_plan& plan, bool odd,
                                                     const double* wig, const k_class& kc,
                                                     const lanes* cosv, lanes& r, lanes& u,
                                                     lanes& v)
{
    r = lanes{};
    u = lanes{};
    v = lanes{};
    std::int64_t offset = 0;
    for (int j = 0; j <= plan.jtop; ++j) {
        const int n = odd ? odd_order(j) : even_order(j);
        const int k0 = odd ? odd_first_k(j) : even_first_k(j);
        const double* wj = wig + offset;
        offset += static_cast<std::int64_t>(n) * n;
        const int first = plan.first[static_cast<std::size_t>(j)];
        const int last = plan.first[static_cast<std::size_t>(j) + 1];
        if (first == last) continue;   // adds 0 to R, U and V, which are never -0
        const lanes* cj = cosv + static_cast<std::ptrdiff_t>((k0 - kc.klo) / 2) * (kc.count + 1);
        const double w = (2 * j + 1) / eight_pi_squared;
        lanes s0{}, s1{}, s2{};
        for (int i = first; i < last; ++i) {
            const planned_level& lv = plan.levels[static_cast<std::size_t>(i)];
            const double* c = lv.vec;
            lanes t{};
            for (int k1 = 0; k1 < n; ++k1) {
                const lanes* crow = cj + static_cast<std::ptrdiff_t>(k1) * kc.count;
                const double* wrow = wj + static_cast<std::ptrdiff_t>(k1) * n;
                lanes inner{};
                for (int k2 = 0; k2 < n; ++k2) inner = inner + (crow[k2] * c[k2]) * wrow[k2];
                t = t + c[k1] * inner;
            }
            const lanes tb = t * lv.boltzmann;
            s0 = s0 + tb;
            s1 = s1 + tb * lv.energy;
            s2 = s2 + (tb * lv.energy) * lv.energy;
        }
        r = r + s0 * w;
        u = u + s1 * w;
        v = v + s2 * w;
    }
}

inline __attribute__((always_inline)) void group_kernel(const density_setup& s, const double* phi,
                                                       const double* chi, double* scratch,
                                                       double* rho, double* eng, double* esq,
                                                       int count)
{
    const k_class even_k = parity_class(top_j(s.even), 0);
    const k_class odd_k = parity_class(top_j(s.odd), 1);
    lanes* cos_even = reinterpret_cast<lanes*>(scratch);
    lanes* cos_odd = cos_even + even_k.count * even_k.count;
    lanes re{}, ue{}, ve{}, ro{}, uo{}, vo{};
    if (s.even) {
        fill_cosines(even_k, phi, chi, cos_even);
        block_sums(*s.even, false, s.wig_even, even_k, cos_even, re, ue, ve);
    }
    if (s.odd) {
        fill_cosines(odd_k, phi, chi, cos_odd);
        block_sums(*s.odd, true, s.wig_odd, odd_k, cos_odd, ro, uo, vo);
    }
    for (int l = 0; l < count; ++l) {
        const point_values p = combine_blocks(s.iodevn, re[l], ue[l], ve[l], ro[l], uo[l], vo[l]);
        rho[l] = p.rho;
        eng[l] = p.eng;
        esq[l] = p.esq;
    }
}

void group_baseline(const density_setup& s, const double* phi, const double* chi, double* scratch,
                    double* rho, double* eng, double* esq, int count)
{
    group_kernel(s, phi, chi, scratch, rho, eng, esq, count);
}

// Wider registers only: IEEE addition and multiplication round the same in
// every instruction set, and no multiply-add is ever formed.
__attribute__((target("avx2"))) void group_avx2(const density_setup& s, const double* phi,
                                                const double* chi, double* scratch, double* rho,
                                                double* eng, double* esq, int count)
{
    group_kernel(s, phi, chi, scratch, rho, eng, esq, count);
}

__attribute__((target("avx512f"))) void group_avx512(const density_setup& s, const double* phi,
                                                     const double* chi, double* scratch,
                                                     double* rho, double* eng, double* esq,
                                                     int count)
{
    group_kernel(s, phi, chi, scratch, rho, eng, esq, count);
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
