// The fast evaluation of a theta plane gives the straightforward evaluation's
// doubles bit for bit (every grid, every block selection, every vector
// path, real and random levels, levels at the weight cut), and the plane has
// the physics it must: symmetry, and at the origin the partition function
// and the mean energy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "kelvane/density/block_combination.hpp"
#include "kelvane/density/euler_grid.hpp"
#include "kelvane/density/term_by_term.hpp"
#include "tests/support/bits.hpp"
#include "tests/support/density_planes.hpp"
#include "tests/support/density_reference.hpp"
#include "tests/support/level_sets.hpp"

namespace kelvane {
namespace {

using level_sets::cut_energy;
using level_sets::random_levels;
using level_sets::top_levels;

using test_support::same_bits;

// The reduced region of one plane by the term-by-term evaluation on one
// thread, with the given vector path.
region_values evaluate_fast(const rotlev& lev, double tau, int iodevn, int ithe, simd_path path)
{
    run_args args = test_planes::water(lev.jmax, 10, 1, iodevn, ithe);
    const auto e = test_planes::planned(args, lev, tau, 1, path);
    routines::wigner_plane w;
    test_planes::fill_tables(w, *e, ithe);
    return test_planes::evaluate(*e, w);
}

std::vector<simd_path> available_paths()
{
    std::vector<simd_path> paths;
    for (simd_path p : {simd_path::baseline, simd_path::avx2, simd_path::avx512})
        if (simd_path_available(p)) paths.push_back(p);
    return paths;
}

// Compares the fast region with the literal whole plane, the latter
// completed by the four copies on whole grids.
void expect_same_plane(const rotlev& lev, double tau, int iodevn, int ithe)
{
    std::vector<double> wigtab(literal_wigner_size(lev.jmax));
    literal_wigner_plane(lev.jmax, ithe, wigtab);
    std::vector<double> rho(plane_cells), eng(plane_cells), esq(plane_cells);
    literal_plane(lev, tau, iodevn, wigtab, rho, eng, esq);
    std::vector<std::int32_t> source(plane_cells);
    fill_cell_sources(source);

    for (simd_path path : available_paths()) {
        const region_values f = evaluate_fast(lev, tau, iodevn, ithe, path);
        int wrong = 0;
        for (int cell = 0; cell < plane_cells && wrong < 5; ++cell) {
            const auto at = static_cast<std::size_t>(source[static_cast<std::size_t>(cell)]);
            const auto c = static_cast<std::size_t>(cell);
            if (!same_bits(f.rho[at], rho[c]) || !same_bits(f.eng[at], eng[c]) || !same_bits(f.esq[at], esq[c])) {
                ++wrong;
                ADD_FAILURE() << "iodevn " << iodevn << " ithe " << ithe << " path " << static_cast<int>(path)
                              << " cell (" << cell / plane_side << ", " << cell % plane_side << "): fast "
                              << f.rho[at] << ' ' << f.eng[at] << ' ' << f.esq[at] << ", literal " << rho[c]
                              << ' ' << eng[c] << ' ' << esq[c];
            }
        }
    }
}

TEST(FastPlane, EqualsTheLiteralEvaluationWithWaterLevels)
{
    const rotlev lev = top_levels(6, 27.877, 14.512, 9.285);
    const double tau = 1 / (0.6950356 * 10) / 4;
    for (int iodevn : {-1, 0, 1})
        for (int ithe : {0, 90}) expect_same_plane(lev, tau, iodevn, ithe);
    for (int ithe : {37, 180}) expect_same_plane(lev, tau, -1, ithe);
}

TEST(FastPlane, EqualsTheLiteralEvaluationWithRandomLevelsAroundTheCut)
{
    // Energies spread from 0 to past the cut, and for every J a few levels
    // placed within some ulps of the cut energy, on both sides.
    const int jmax = 6;
    const double tau = 0.05;
    const rotlev lev = random_levels(jmax, 2024, [&](int j, parity par, int i) {
        const double cut = cut_energy(j, tau);
        const int n = routines::block_order(j, par);
        if (i == n - 1) return cut * 1.5;
        if (i >= n - 4) {
            double e = cut;
            for (int s = 0; s < (n - 1 - i) * 3 - 5 + (par == parity::odd ? 1 : 0); ++s) e = std::nextafter(e, 0.0);
            for (int s = 0; s > (n - 1 - i) * 3 - 5 + (par == parity::odd ? 1 : 0); --s) e = std::nextafter(e, 1e300);
            return e;
        }
        return cut * (0.2 * i + (par == parity::odd ? 0.05 : 0.0));
    });
    for (int iodevn : {-1, 0, 1})
        for (int ithe : {1, 179}) expect_same_plane(lev, tau, iodevn, ithe);
    expect_same_plane(lev, tau, -1, 64);
}

TEST(FastPlane, EqualsTheLiteralEvaluationWhenEveryLevelOfABlockIsCut)
{
    // The odd block lies wholly beyond the cut: R = 0 there, and for
    // iodevn = 1 the whole plane is zero with zero estimators.
    const double tau = 1.0;
    const rotlev lev = random_levels(4, 7, [&](int j, parity par, int i) {
        return par == parity::odd ? cut_energy(j, tau) * 2 + i : 3.0 * i + j;
    });
    for (int iodevn : {-1, 1}) expect_same_plane(lev, tau, iodevn, 45);
    const region_values f = evaluate_fast(lev, tau, 1, 45, best_simd_path());
    for (int p = 0; p < region_points; p += 97) {
        EXPECT_TRUE(same_bits(f.rho[static_cast<std::size_t>(p)], 0.0));
        EXPECT_TRUE(same_bits(f.eng[static_cast<std::size_t>(p)], 0.0));
        EXPECT_TRUE(same_bits(f.esq[static_cast<std::size_t>(p)], 0.0));
    }
}

TEST(LevelPlan, KeepsALevelWhoseWeightIsExactlyTheCut)
{
    // Find J and a Boltzmann factor b = exp(-x), x a double, with
    // (2J+1)/(8 pi^2) b exactly 1e-16.  With tau a power of two, E = x / tau
    // gives tau E = x exactly, and the next energy above E a smaller factor.
    const double tau = 0x1p-10;
    int j = -1;
    double x = 0;
    for (int jj = 0; jj <= routines::jmax_limit && j < 0; ++jj) {
        const double w = (2 * jj + 1) / eight_pi_squared;
        double b = density_cut / w;
        for (int s = 0; s < 3; ++s) b = std::nextafter(b, 0.0);
        for (int s = 0; s < 6 && j < 0; ++s, b = std::nextafter(b, 1.0)) {
            if (w * b != density_cut) continue;
            double t = -std::log(b);
            for (int u = 0; u < 6; ++u) t = std::nextafter(t, 0.0);
            for (int u = 0; u < 12 && j < 0; ++u, t = std::nextafter(t, 1e9))
                if (std::exp(-t) == b) { j = jj; x = t; }
        }
    }
    ASSERT_GE(j, 0) << "no J has a Boltzmann factor that meets the cut exactly";
    const double exact = x / tau;
    const double beyond = std::nextafter(exact, 1e300);
    ASSERT_EQ((2 * j + 1) / eight_pi_squared * std::exp(-tau * exact), density_cut);
    ASSERT_LT((2 * j + 1) / eight_pi_squared * std::exp(-tau * beyond), density_cut);

    // Every other level far beyond the cut; vectors play no part in the plan.
    rotlev lev;
    lev.jmax = j;
    level_sets::start_block_levels(lev.even, j);
    for (int jj = 0; jj <= j; ++jj) {
        const int n = routines::block_order(jj, parity::even);
        for (int i = 0; i < n; ++i) lev.even.level.push_back(jj == j && i < 2 ? (i == 0 ? exact : beyond) : 1e9);
        lev.even.vec.resize(lev.even.vec.size() + static_cast<std::size_t>(n) * n);
        level_sets::close_j(lev.even, jj);
    }
    block_plan plan;
    routines::storage taking = routines::storage::taking();
    reserve_block_plan(taking, plan, j);
    make_block_plan(plan, lev, parity::even, tau);
    ASSERT_EQ(plan.levels.size(), 1u);
    EXPECT_EQ(plan.levels[0].energy, exact);
    EXPECT_EQ(plan.jtop, j);
}

TEST(Combination, FollowsTheBlockSelection)
{
    // Single blocks: R passes through even when the estimators are zeroed.
    const auto selection = [](int iodevn) { return *block_selection::of(iodevn); };
    const point_values even = combine_blocks(selection(0), 2.0, 6.0, 20.0, 5.0, 1.0, 1.0);
    EXPECT_EQ(even.rho, 2.0);
    EXPECT_EQ(even.eng, 3.0);
    EXPECT_EQ(even.esq, 10.0);
    const point_values small = combine_blocks(selection(1), 2.0, 6.0, 20.0, 1e-16, 1.0, 1.0);
    EXPECT_EQ(small.rho, 1e-16);
    EXPECT_EQ(small.eng, 0.0);
    EXPECT_EQ(small.esq, 0.0);
    // Both blocks: estimators weighted by their R; a vanishing block adds
    // nothing to them but still enters rho.
    const point_values both = combine_blocks(selection(-1), 2.0, 6.0, 20.0, 1e-17, 5.0, 5.0);
    EXPECT_EQ(both.rho, 1e-17 + 2.0);
    EXPECT_EQ(both.eng, (3.0 * 2.0) / (1e-17 + 2.0));
    // A vanishing combined density zeroes both estimators and keeps rho.
    const point_values none = combine_blocks(selection(-1), 3e-17, 1.0, 1.0, 4e-17, 1.0, 1.0);
    EXPECT_EQ(none.rho, 4e-17 + 3e-17);
    EXPECT_EQ(none.eng, 0.0);
    EXPECT_EQ(none.esq, 0.0);
}

TEST(CompletedPlane, IsSymmetricAndEveryCellComesFromTheRegion)
{
    std::vector<std::int32_t> source(plane_cells);
    fill_cell_sources(source);
    for (int p = 0; p < plane_side; ++p)
        for (int c = 0; c < plane_side; ++c) {
            const std::int32_t s = source[static_cast<std::size_t>(p * plane_side + c)];
            ASSERT_GE(s, 0);
            ASSERT_LT(s, region_points);
            ASSERT_EQ(s, source[static_cast<std::size_t>(c * plane_side + p)]) << p << ' ' << c;
        }
    // Row 180 is rewritten by the second copy, whose values stand.
    std::vector<region_point> region(region_points);
    list_region(region);
    const region_point from = region[static_cast<std::size_t>(source[180 * plane_side + 30])];
    EXPECT_EQ(from.iphi, 210);
    EXPECT_EQ(from.ichi, 0);
}

TEST(PlanePhysics, OriginGivesThePartitionFunctionAndMeanEnergy)
{
    // At theta = phi = chi = 0 every d^J is the identity and every cosine 1,
    // so rho = Z / (8 pi^2) with Z = sum (2J+1) exp(-tau E), and the
    // estimators are the mean energy and the mean square energy at tau (of
    // the levels above the weight cut: those below it still weigh in the
    // energy moments at the 1e-12 level).
    const int jmax = 8;
    const rotlev lev = top_levels(jmax, 27.877, 14.512, 9.285);
    const double tau = 1 / (0.6950356 * 10) / 2;
    double z = 0, zk = 0, s1 = 0, s2 = 0;
    for (const block_levels* b : {&lev.even, &lev.odd})
        for (int j = 0; j <= jmax; ++j)
            for (auto i = b->level_start[static_cast<std::size_t>(j)]; i < b->level_start[static_cast<std::size_t>(j) + 1]; ++i) {
                const double e = b->level[static_cast<std::size_t>(i)];
                const double g = (2 * j + 1) * std::exp(-tau * e);
                z += g;
                if (g / eight_pi_squared < density_cut) continue;
                zk += g;
                s1 += e * g;
                s2 += e * e * g;
            }
    const region_values f = evaluate_fast(lev, tau, -1, 0, best_simd_path());
    EXPECT_NEAR(f.rho[0] * eight_pi_squared, z, 1e-12 * z);
    EXPECT_NEAR(f.eng[0], s1 / zk, 1e-12 * (s1 / zk));
    EXPECT_NEAR(f.esq[0], s2 / zk, 1e-12 * (s2 / zk));
}

}  // namespace
}  // namespace kelvane
