// The level stage: the blocks solved from their tridiagonal form against the
// literal dense route, the level set on one thread against two, the
// symmetric top against its closed form, and the storage it is sized to.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "kelvane/levels/level_blocks.hpp"
#include "kelvane/levels/level_loop.hpp"
#include "kelvane/levels/level_stage.hpp"
#include "routines/rotmat.hpp"
#include "routines/tql.hpp"
#include "tests/support/bits.hpp"
#include "process/process.hpp"
#include "tests/support/water.hpp"

using namespace kelvane;

namespace {

run_args water(int jmax) { return water_args(jmax); }

// The block filled densely from rotmat (lower triangle mirrored) and solved
// with tql, with the leading dimension ndim of the original layout.
void literal_block(const block& b, const run_args& args, std::vector<double>& a, std::vector<double>& d)
{
    const int nm = args.ndim;
    a.assign(static_cast<std::size_t>(nm) * nm, 0.0);
    d.assign(nm, 0.0);
    std::vector<double> e(nm);
    for (int i = 0; i < b.n; ++i)
        for (int k = 0; k <= i; ++k)
            a[i + k * nm] = a[k + i * nm] =
                routines::rotmat(b.j, b.k0 + 2 * i, b.k0 + 2 * k, args.ax, args.az, args.ay);
    ASSERT_TRUE(routines::tql(nm, b.n, a.data(), d.data(), e.data()));
}

using test_support::same_bits;

level_storage computed(const run_args& args, bool vectors, int threads, std::string& printed)
{
    level_storage s = reserve_levels(0, args.jmax, vectors, threads);
    ::testing::internal::CaptureStdout();
    compute_levels(s, args, process::line_sink::standard_output());
    process::flush_out();
    printed = ::testing::internal::GetCapturedStdout();
    return s;
}

}  // namespace

TEST(BlockLayout, BlocksPartitionTheStatesOfJ)
{
    for (int j = 0; j <= 30; ++j) {
        const block ev = make_block(j, parity::even);
        const block od = make_block(j, parity::odd);
        EXPECT_EQ(ev.n + od.n, 2 * j + 1);
        // Each block runs from its lowest K of its parity to its highest within -J..J.
        const int top_even = j % 2 == 0 ? j : j - 1;
        const int top_odd = j % 2 == 0 ? j - 1 : j;
        EXPECT_EQ(ev.k0, -top_even);
        EXPECT_EQ(ev.k0 + 2 * (ev.n - 1), top_even);
        if (j > 0) {
            EXPECT_EQ(od.k0, -top_odd);
            EXPECT_EQ(od.k0 + 2 * (od.n - 1), top_odd);
        }
    }
}

TEST(TridiagonalBlocks, WaterLevelsAndVectorsEqualTheLiteralRoute)
{
    const run_args args = water(120);
    std::vector<double> a, d;
    for (int j = 3; j <= args.jmax; j += 3) {
        std::vector<block> blocks = {make_block(j, parity::even), make_block(j, parity::odd),
                                     make_block(j - 1, parity::even), make_block(j - 1, parity::odd)};
        for (bool vectors : {false, true}) {
            std::vector<block_work> work(4);
            routines::storage taking = routines::storage::taking();
            for (block_work& w : work) reserve_block_work(taking, w, args.jmax + 1, vectors);
            ASSERT_TRUE(solve_blocks_tridiagonal(blocks, args, vectors, work));
            for (int q = 0; q < 4; ++q) {
                const block& b = blocks[q];
                literal_block(b, args, a, d);
                EXPECT_TRUE(same_bits(d.data(), work[q].d.data(), b.n)) << "J " << b.j;
                if (!vectors) continue;
                for (int k = 0; k < b.n; ++k)
                    EXPECT_TRUE(same_bits(&a[k * args.ndim], &work[q].a[k * work[q].nm], b.n))
                        << "J " << b.j << " vector " << k;
            }
        }
    }
}

TEST(LevelSet, TwoThreadsStoreWhatOneThreadStores)
{
    const run_args args = water(90);
    for (bool vectors : {false, true}) {
        std::string out1, out2;
        const level_storage one = computed(args, vectors, 1, out1);
        const level_storage two = computed(args, vectors, 2, out2);
        EXPECT_EQ(out1, out2);
        for (auto half : {&rotlev::even, &rotlev::odd}) {
            const block_levels& x = one.levels.*half;
            const block_levels& y = two.levels.*half;
            ASSERT_EQ(x.level.size(), y.level.size());
            EXPECT_TRUE(same_bits(x.level.data(), y.level.data(), x.level.size()));
            ASSERT_EQ(x.vec.size(), y.vec.size());
            EXPECT_TRUE(same_bits(x.vec.data(), y.vec.data(), x.vec.size()));
        }
    }
}

TEST(LevelSet, HoldsTheLiteralLevelsAndVectorsInItsLayout)
{
    const run_args args = water(40);
    std::string printed;
    const level_storage s = computed(args, true, 2, printed);
    std::vector<double> a, d;
    for (int j = 0; j <= args.jmax; ++j)
        for (const parity par : {parity::even, parity::odd}) {
            const block b = make_block(j, par);
            if (b.n == 0) continue;
            const block_levels& bl = par == parity::even ? s.levels.even : s.levels.odd;
            literal_block(b, args, a, d);
            ASSERT_EQ(bl.level_start[j + 1] - bl.level_start[j], b.n);
            EXPECT_TRUE(same_bits(d.data(), &bl.level[bl.level_start[j]], b.n)) << "J " << j;
            for (int i = 0; i < b.n; ++i)
                EXPECT_TRUE(same_bits(&a[i * args.ndim], &bl.vec[bl.vec_start[j] + i * b.n], b.n))
                    << "J " << j << " vector " << i;
        }
}

TEST(LevelSet, SizedToTheBlocks)
{
    const int jmax = 30;
    const level_storage with = reserve_levels(0, jmax, true, 1);
    const level_storage without = reserve_levels(0, jmax, false, 1);
    std::size_t levels = 0, components = 0;
    for (int j = 0; j <= jmax; ++j)
        for (const parity par : {parity::even, parity::odd}) {
            const std::size_t n = make_block(j, par).n;
            levels += n;
            components += n * n;
        }
    EXPECT_EQ(with.levels.even.level.size() + with.levels.odd.level.size(), levels);
    EXPECT_EQ(levels, static_cast<std::size_t>((jmax + 1) * (jmax + 1)));
    EXPECT_EQ(with.levels.even.vec.size() + with.levels.odd.vec.size(), components);
    EXPECT_TRUE(without.levels.even.vec.empty());
    EXPECT_TRUE(without.levels.odd.vec.empty());
}

TEST(LevelSet, SymmetricTopHasTheClosedFormLevels)
{
    run_args args = water(25);
    args.ax = args.ay = 10.25;
    args.az = 5.5;
    std::string printed;
    const level_storage s = computed(args, true, 2, printed);
    for (int j = 0; j <= args.jmax; ++j)
        for (const parity par : {parity::even, parity::odd}) {
            const block b = make_block(j, par);
            const block_levels& bl = par == parity::even ? s.levels.even : s.levels.odd;
            std::vector<double> expected;
            for (int i = 0; i < b.n; ++i) {
                const int k = b.k0 + 2 * i;
                expected.push_back(args.ax * j * (j + 1) + (args.az - args.ax) * k * k);
            }
            std::sort(expected.begin(), expected.end());
            for (int i = 0; i < b.n; ++i) {
                EXPECT_NEAR(bl.level[bl.level_start[j] + i], expected[i], 1e-12 * (1 + expected[i]));
                // Every vector is a unit vector of the basis.
                double largest = 0, sum = 0;
                for (int k = 0; k < b.n; ++k) {
                    const double c = std::fabs(bl.vec[bl.vec_start[j] + i * b.n + k]);
                    largest = std::max(largest, c);
                    sum += c;
                }
                EXPECT_EQ(largest, 1.0);
                EXPECT_EQ(sum, 1.0);
            }
        }
}

TEST(LevelSet, HighestLevelIsTheLastAfterTheSort)
{
    const run_args args = water(20);
    std::string printed;
    const level_storage s = computed(args, false, 1, printed);
    std::vector<double> merged = s.levels.even.level;
    merged.insert(merged.end(), s.levels.odd.level.begin(), s.levels.odd.level.end());
    routines::bubble_sort(merged.data(), static_cast<int>(merged.size()));
    EXPECT_EQ(highest_level(s.levels), merged.back());
}

TEST(LevelSet, ABlockThatDoesNotConvergeStopsTheRunWithFail)
{
    // NaN constants never converge: the printed blocks (dense route) and the
    // others (tridiagonal route, shared over threads) stop the same way.
    for (int jmax : {2, 70}) {
        run_args args = water(jmax);
        args.ax = std::nan("");
        level_storage s = reserve_levels(0, jmax, false, 2);
        try {
            compute_levels(s, args, process::line_sink::discarded());
            ADD_FAILURE() << "jmax " << jmax << " converged";
        } catch (const process::stop_run& stop) {
            EXPECT_EQ(stop.message, "  FAIL") << "jmax " << jmax;
        }
    }
}
