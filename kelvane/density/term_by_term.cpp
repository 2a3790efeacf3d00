#pragma GCC diagnostic ignored "-Wpsabi"   // see simd.hpp

#include "kelvane/density/term_by_term.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <mutex>

#include "routines/parallel.hpp"

namespace kelvane {

namespace {

constexpr int group_width = term_by_term_evaluator::group_width;

template <int W>
using group = lanes<W, group_width>;

template <int W>
struct vgroup {
    typename group<W>::v part[group<W>::count];
};

#define KELVANE_LANES KELVANE_EACH_VECTOR(group<W>)

// The cosines of one group take count^2 lanes of group_width per K class.
std::size_t scratch_size(int jtop_even, int jtop_odd)
{
    const auto even = static_cast<std::size_t>(k_class_of(jtop_even, parity::even).count);
    const auto odd = static_cast<std::size_t>(k_class_of(jtop_odd, parity::odd).count);
    return (even * even + odd * odd) * group_width;
}

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
    using V = typename group<W>::v;
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
    using V = typename group<W>::v;
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
inline __attribute__((always_inline)) void block_sums_of(const block_plan& plan, const double* wig,
                                                        const k_class& kc, const double* cosv, vgroup<W>& r,
                                                        vgroup<W>& u, vgroup<W>& v)
{
    using V = typename group<W>::v;
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

#undef KELVANE_LANES

}  // namespace

void term_by_term_evaluator::reserve(routines::storage& s)
{
    reserve_block_plans(s, plans_, settings_.jmax);
    s.take(region_, region_points);
    if (s.takes()) list_region(region_);
    s.take(scratch_, static_cast<std::size_t>(settings_.threads) * scratch_size(settings_.jmax, settings_.jmax));
}

void term_by_term_evaluator::plan(const rotlev& levels, double tau)
{
    make_block_plans(plans_, levels, settings_.blocks, tau);
}

void term_by_term_evaluator::evaluate_group(const routines::wigner_plane& wigner, const region_point* points,
                                            int count, double* scratch, region_values& out, std::size_t at) const
{
    // Lanes past count repeat the last point; their results are dropped.
    double phi[group_width], chi[group_width];
    for (int l = 0; l < group_width; ++l) {
        const region_point& p = points[l < count ? l : count - 1];
        phi[l] = grid_angle(p.iphi);
        chi[l] = grid_angle(p.ichi);
    }
    const std::array<int, 2> tops = wigner_tops();
    const bool even = settings_.blocks.has(parity::even), odd = settings_.blocks.has(parity::odd);
    const k_class even_k = k_class_of(tops[0], parity::even);
    const k_class odd_k = k_class_of(tops[1], parity::odd);
    double* cos_even = scratch;
    double* cos_odd = cos_even + static_cast<std::ptrdiff_t>(even_k.count) * even_k.count * group_width;
    double sums[6][group_width];
    on_path(settings_.path, [&]<int W>() __attribute__((always_inline)) {
        vgroup<W> re{}, ue{}, ve{}, ro{}, uo{}, vo{};
        if (even) {
            fill_cosines(even_k, phi, chi, cos_even);
            block_sums_of<W>(plans_.even, wigner.block(0, parity::even), even_k, cos_even, re, ue, ve);
        }
        if (odd) {
            fill_cosines(odd_k, phi, chi, cos_odd);
            block_sums_of<W>(plans_.odd, wigner.block(0, parity::odd), odd_k, cos_odd, ro, uo, vo);
        }
        const vgroup<W>* all[6] = {&re, &ue, &ve, &ro, &uo, &vo};
        for (int s = 0; s < 6; ++s)
            KELVANE_EACH_VECTOR(group<W>) store<W>(sums[s] + q * W, all[s]->part[q]);
    });
    for (int l = 0; l < count; ++l)
        put_point(out, at + static_cast<std::size_t>(l), settings_.blocks, {sums[0][l], sums[1][l], sums[2][l]},
                  {sums[3][l], sums[4][l], sums[5][l]});
}

void term_by_term_evaluator::evaluate(const routines::wigner_plane& wigner, region_values& out,
                                      plane_progress& progress)
{
    // The region group by group over the workers, with the progress of every
    // row told, in order, before any of its points is evaluated.
    const int groups = (region_points + group_width - 1) / group_width;
    std::mutex announcing;
    int rows_announced = 0;
    routines::for_each_item(settings_.threads, groups, [&](int worker, int g) {
        const int first = g * group_width;
        const int count = std::min(group_width, region_points - first);
        {
            std::lock_guard<std::mutex> lock(announcing);
            const int last_row = region_[static_cast<std::size_t>(first + count - 1)].iphi;
            for (; rows_announced <= last_row; ++rows_announced) progress.row_started(rows_announced);
        }
        evaluate_points(wigner, std::span(region_).subspan(static_cast<std::size_t>(first), static_cast<std::size_t>(count)),
                        out, static_cast<std::size_t>(first), worker);
    });
}

void term_by_term_evaluator::evaluate_points(const routines::wigner_plane& wigner,
                                             std::span<const region_point> points, region_values& out,
                                             std::size_t at, int worker)
{
    double* scratch = scratch_.data() + static_cast<std::size_t>(worker) * scratch_size(settings_.jmax, settings_.jmax);
    for (std::size_t first = 0; first < points.size(); first += group_width) {
        const int count = static_cast<int>(std::min<std::size_t>(group_width, points.size() - first));
        evaluate_group(wigner, points.data() + first, count, scratch, out, at + first);
    }
}

}  // namespace kelvane
