#include "kelvane/density/density_kernel.hpp"

#include <cmath>
#include <cstddef>

#include "kelvane/density/block_combination.hpp"
#include "kelvane/density/euler_grid.hpp"

namespace kelvane {

namespace {

// K values of one parity within |K| <= jtop: K = klo + 2i, i = 0..count-1,
// symmetric about 0.
struct k_class {
    int klo = 0;
    int count = 0;
};

k_class parity_class(int jtop, parity p)
{
    if (jtop < 0) return {};
    const int klo = -jtop + (jtop + routines::parity_index(p)) % 2;
    if (klo > jtop) return {};
    return {klo, (-klo - klo) / 2 + 1};
}

int top_j(const block_plan* plan) { return plan ? plan->jtop : -1; }

}  // namespace

std::size_t group_scratch_size(int jmax)
{
    const auto even = static_cast<std::size_t>(parity_class(jmax, parity::even).count);
    const auto odd = static_cast<std::size_t>(parity_class(jmax, parity::odd).count);
    return (even * even + odd * odd) * group_width;
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
inline __attribute__((always_inline)) void block_sums(const block_plan& plan,
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
        const int n = routines::block_order(j, plan.par);
        const int k0 = routines::block_first_k(j, plan.par);
        const double* wj = wig + offset;
        offset += static_cast<std::int64_t>(n) * n;
        const int first = plan.first[static_cast<std::size_t>(j)];
        const int last = plan.first[static_cast<std::size_t>(j) + 1];
        if (first == last) continue;   // adds 0 to R, U and V, which are never -0
        const vgroup<W>* cj = cos_pairs + static_cast<std::ptrdiff_t>((k0 - kc.klo) / 2) * (kc.count + 1);
        const double w = j_weight(j);
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
    const k_class even_k = parity_class(top_j(s.even), parity::even);
    const k_class odd_k = parity_class(top_j(s.odd), parity::odd);
    double* cos_even = scratch;
    double* cos_odd = cos_even + static_cast<std::ptrdiff_t>(even_k.count) * even_k.count * group_width;
    vgroup<W> re{}, ue{}, ve{}, ro{}, uo{}, vo{};
    if (s.even) {
        fill_cosines(even_k, phi, chi, cos_even);
        block_sums<W>(*s.even, s.wig_even, even_k, cos_even, re, ue, ve);
    }
    if (s.odd) {
        fill_cosines(odd_k, phi, chi, cos_odd);
        block_sums<W>(*s.odd, s.wig_odd, odd_k, cos_odd, ro, uo, vo);
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
