// The Fourier-series evaluation of a theta plane gives, at every point of
// whole planes, block sums within one unit in the last place of a binary128
// evaluation of the same double inputs (or within 1e-17 of the absolute sum
// of their terms where they cancel that deeply), and the printed values of
// that evaluation; the same bits for any thread count and any vector width.
// Its tables stop at the last J whose levels can pass the weight cut.  The
// binary128 yardstick itself agrees with the straightforward evaluation.
// The larger planes are in density_series_exhaustive_test, labelled slow.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "tests/kelvane/series_agreement.hpp"

namespace kelvane {
namespace {

using namespace series_agreement;

TEST(SeriesPlane, MeetsTheYardstickAtJmax12)
{
    expect_planes_meet_yardstick(12, 10, 32, {0, 1, 45, 90, 179, 180});
}

TEST(SeriesPlane, GivesTheSameBitsForAnyThreadCountAndAnyVectorWidth)
{
    // The whole plane on one thread with the baseline vectors, against each
    // other vector path with every step shared by three threads.
    const auto run = make_water_run(25, 10, 128);
    const region_values want = series_values(*run, 90, -1, simd_path::baseline);
    auto same_sums = [](const block_sums& a, const block_sums& b) {
        return same_bits(a.r, b.r) && same_bits(a.u, b.u) && same_bits(a.v, b.v);
    };
    for (simd_path path : {simd_path::avx512, simd_path::avx2, simd_path::baseline}) {
        if (!simd_path_available(path)) continue;
        const region_values got = series_values(*run, 90, -1, path, 3);
        int wrong = 0;
        for (std::size_t p = 0; p < region_points; ++p) {
            if (same_bits(got.rho[p], want.rho[p]) && same_bits(got.eng[p], want.eng[p]) &&
                same_bits(got.esq[p], want.esq[p]) && same_sums(got.even[p], want.even[p]) &&
                same_sums(got.odd[p], want.odd[p]))
                continue;
            if (++wrong <= 5)
                ADD_FAILURE() << "path " << static_cast<int>(path) << " point " << p << ": rho " << got.rho[p]
                              << " against " << want.rho[p];
        }
        EXPECT_EQ(wrong, 0);
    }
}

TEST(SeriesPlane, IsExactlySymmetric)
{
    // rho(phi, chi) = rho(-phi, -chi) = rho(phi + 180, chi + 180), and 360
    // degrees is 0, bit for bit in every value of the written plane,
    // whichever points the symmetry copies fill and whichever are evaluated.
    const auto run = make_water_run(12, 10, 32);
    std::vector<std::int32_t> source(plane_cells);
    fill_cell_sources(source);
    for (int ithe : {0, 1, 45, 90, 179, 180})
        for (int iodevn : {-1, 0, 1}) {
            const region_values v = series_values(*run, ithe, iodevn, best_simd_path());
            const std::vector<double>* grids[3] = {&v.rho, &v.eng, &v.esq};
            auto value = [&](int g, int p, int c) {
                const int cell = (p % 360) * plane_side + c % 360;
                return (*grids[g])[static_cast<std::size_t>(source[static_cast<std::size_t>(cell)])];
            };
            int broken = 0;
            for (int g = 0; g < 3; ++g)
                for (int p = 0; p <= 360; ++p)
                    for (int c = 0; c <= 360; ++c) {
                        const double x = (*grids[g])[static_cast<std::size_t>(source[static_cast<std::size_t>(p * plane_side + c)])];
                        for (const double y : {value(g, 360 - p % 360, 360 - c % 360), value(g, p + 180, c + 180), value(g, p, c)})
                            if (!same_bits(x, y) && ++broken <= 5)
                                ADD_FAILURE() << "plane " << ithe << " iodevn " << iodevn << " grid " << g << " at ("
                                              << p << ", " << c << "): " << x << " against " << y;
                    }
            EXPECT_EQ(broken, 0) << "plane " << ithe << " iodevn " << iodevn;
        }
}

TEST(WeightCut, NoPlanKeepsALevelAboveTheTopItIsReckonedToStopAt)
{
    // The Fourier series sizes its run-wide tables by weight_cut_jtop: the
    // plans of real levels stay at or below it, and it is not far above them.
    struct rotor { double ax, az, ay; };
    struct run { double temp; int nslice, jmax; };
    for (const rotor r : {rotor{27.877, 14.512, 9.285}, rotor{5, 5, 5}, rotor{20, 3, 3}})
        for (const run u : {run{10, 128, 70}, run{10, 16, 40}, run{40, 64, 60}, run{2, 1, 40}, run{300, 2000, 30}}) {
            run_args args = test_planes::water(u.jmax, u.temp, u.nslice);
            args.ax = r.ax;
            args.az = r.az;
            args.ay = r.ay;
            const double tau = test_planes::run_tau(args);
            const rotlev lev = level_sets::top_levels(u.jmax, r.ax, r.az, r.ay);
            int top = -1;
            for (const parity p : routines::both_parities) {
                block_plan plan;
                routines::storage taking = routines::storage::taking();
                reserve_block_plan(taking, plan, u.jmax);
                make_block_plan(plan, lev, p, tau);
                top = std::max(top, plan.jtop);
            }
            const int bound = weight_cut_jtop(tau, r.ax, r.ay, r.az, u.jmax);
            EXPECT_LE(top, bound) << r.ax << ' ' << u.temp << ' ' << u.nslice;
            EXPECT_LE(bound, std::min(top + 3, u.jmax)) << r.ax << ' ' << u.temp << ' ' << u.nslice;
        }
    // Where the weights do not fall with J, every J.
    EXPECT_EQ(weight_cut_jtop(0.001, 27.877, -1, 9.285, 50), 50);
    EXPECT_EQ(weight_cut_jtop(-0.001, 27.877, 14.512, 9.285, 50), 50);
    EXPECT_EQ(weight_cut_jtop(NAN, 27.877, 14.512, 9.285, 50), 50);
}

TEST(Yardstick, AgreesWithTheStraightforwardEvaluation)
{
    // A few points of two planes, block by block (iodevn 0 and 1 give a
    // block's R as rhopro and U/R, V/R as the estimators), within a double
    // evaluation's error: 1e-13 of the absolute sums.
    const auto run = make_water_run(12, 10, 32);
    for (int ithe : {45, 90}) {
        std::vector<double> wigtab(literal_wigner_size(run->jmax));
        literal_wigner_plane(run->jmax, ithe, wigtab);
        const std::vector<yardstick_point> y = yardstick_values(*run, wigtab);
        std::vector<region_point> region(region_points);
        list_region(region);
        for (int p = 5; p < region_points; p += 2357) {
            const region_point at = region[static_cast<std::size_t>(p)];
            for (int iodevn : {0, 1}) {
                const yardstick_block& b = iodevn == 0 ? y[static_cast<std::size_t>(p)].even : y[static_cast<std::size_t>(p)].odd;
                const point_values lit = literal_point(run->levels, run->tau, iodevn, wigtab, at.iphi, at.ichi);
                EXPECT_NEAR(lit.rho, b.r, 1e-13 * b.r_abs) << ithe << ' ' << p << ' ' << iodevn;
                const double r = std::fabs(b.r);
                EXPECT_NEAR(lit.eng, b.u / b.r, 1e-13 * (b.u_abs + std::fabs(b.u / b.r) * b.r_abs) / r);
                EXPECT_NEAR(lit.esq, b.v / b.r, 1e-13 * (b.v_abs + std::fabs(b.v / b.r) * b.r_abs) / r);
            }
        }
    }
}

}  // namespace
}  // namespace kelvane
