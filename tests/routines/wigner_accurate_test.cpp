// Trusted Wigner small-d values: the series with its error bound, the stable
// recursion against high-precision references, symmetry and unitarity, and the
// trusted values that keep the series' bits wherever it is good.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "tests/routines/wigner_cases.hpp"

namespace {

using namespace wigner_cases;

TEST(ReferenceTable, CoversTheRangeTheTestsRelyOn)
{
    const auto& rows = references();
    ASSERT_GT(rows.size(), 5000u);
    bool j120 = false, j876 = false, mixed_signs = false;
    for (const auto& r : rows) {
        j120 = j120 || (r.j == 120 && r.deg == 90);
        j876 = j876 || r.j == 876;
        mixed_signs = mixed_signs || (r.mp < 0 && r.m > 0);
    }
    EXPECT_TRUE(j120 && j876 && mixed_signs);
}

// ---- The series and its bound -----------------------------------------------

TEST(WigdRecipeBound, GivesTheBitsOfTheLiteralSeries)
{
    const int jtop = 24;
    for (int deg : {0, 45, 90, 179}) {
        const double b = radians(deg);
        const wigd_angle_tables t(jtop, b);
        for (int j = 0; j <= jtop; j += (j < 12 ? 1 : 4))
            for (int mp = -j; mp <= j; ++mp)
                for (int m = -j; m <= j; ++m) {
                    const double literal = wigd(j, mp, m, b);
                    double bound1, bound2;
                    const double direct = wigd_recipe_bound(j, mp, m, b, bound1);
                    const double tabulated = wigd_recipe_bound(j, mp, m, t.view(), bound2);
                    ASSERT_TRUE(same_bits(direct, literal)) << j << ' ' << mp << ' ' << m << ' ' << deg;
                    ASSERT_TRUE(same_bits(tabulated, literal)) << j << ' ' << mp << ' ' << m << ' ' << deg;
                    ASSERT_TRUE(same_bits(bound1, bound2));
                }
    }
}

TEST(WigdRecipeBound, IsTheSameFromTheKeptFactorsOfARun)
{
    // A density stage that keeps the angle-independent factors must reach the
    // same bound, hence the same choice, as the tables of the angle.
    const int jtop = 30;
    const double b = radians(83);
    const wigd_angle_tables t(jtop, b);
    std::vector<__float128> factors(jtop + 1);
    for (int j : {0, 5, 17, 18, 30})
        for (int mp = -j; mp <= j; ++mp)
            for (int m = -j; m <= j; m += 3) {
                fill_wigd_factors(j, mp, m, t.lnf, factors.data());
                __float128 abs_sum = 0;
                const double v = wigd_from_factors(j, mp, m, factors.data(), t.cos_pow, t.nsin_pow, &abs_sum);
                double bound;
                const double direct = wigd_recipe_bound(j, mp, m, t.view(), bound);
                ASSERT_TRUE(same_bits(v, direct)) << j << ' ' << mp << ' ' << m;
                ASSERT_TRUE(same_bits(wigd_series_bound(j, mp, m, t.lnf, v, abs_sum), bound)) << j << ' ' << mp << ' ' << m;
            }
}

TEST(WigdSeriesScreen, NeverContradictsTheBoundAndSettlesMostValues)
{
    int settled = 0, count = 0, recursion = 0, failing = 0;
    for (int deg : {0, 3, 45, 90, 150, 179, 180}) {
        const double b = radians(deg);
        const int jtop = 44;
        const wigd_angle_tables t(jtop, b);
        const wigd_screen screen = wigd_screen_of(b);
        for (int j = 0; j <= jtop; j += (j < 14 ? 7 : 3))
            for (int mp = -j; mp <= j; ++mp)
                for (int m = -j; m <= j; m += 2) {
                    double bound;
                    wigd_recipe_bound(j, mp, m, t.view(), bound);
                    for (double limit : {wigd_trust_limit, wigd_strict_limit}) {
                        const bool kept = bound < limit;
                        const wigd_verdict verdict = wigd_screen_element(j, mp, m, t.lnf, screen, limit);
                        if (verdict == wigd_verdict::series) {
                            ASSERT_TRUE(kept) << j << ' ' << mp << ' ' << m << ' ' << deg;
                        }
                        if (verdict == wigd_verdict::recursion) {
                            ASSERT_FALSE(kept) << j << ' ' << mp << ' ' << m << ' ' << deg;
                        }
                        ++count;
                        settled += verdict != wigd_verdict::sum_with_bound;
                        recursion += verdict == wigd_verdict::recursion;
                        failing += !kept;
                    }
                }
    }
    EXPECT_GT(4 * settled, 3 * count) << settled << " of " << count;
    EXPECT_GT(4 * recursion, 3 * failing) << recursion << " of " << failing;
}

TEST(WigdRecipeBound, BoundsTheSeriesErrorAgainstTheReferences)
{
    // Past j = 60 the bound exceeds 1 and there is nothing left to check.
    int checked = 0;
    for (const auto& r : references()) {
        if (r.j > 60) continue;
        double bound;
        const double v = wigd_recipe_bound(r.j, r.mp, r.m, radians(r.deg), bound);
        const double allowed = bound + 0x1p-53 * std::fabs(r.d) + 1e-300;
        EXPECT_LE(std::fabs(v - r.d), allowed) << r.j << ' ' << r.mp << ' ' << r.m << ' ' << r.deg;
        ++checked;
    }
    EXPECT_GT(checked, 2000);
}

TEST(WigdRecipeBound, GrowsWithTheCancellation)
{
    // No cancellation on the edges of the matrix or at beta = 0; heavy
    // cancellation near pi/2 with small projections.
    double bound;
    wigd_recipe_bound(40, 40, -40, radians(90), bound);
    EXPECT_LT(bound, 1e-13);
    wigd_recipe_bound(40, 3, -2, radians(0), bound);
    EXPECT_EQ(bound, 0.0);
    wigd_recipe_bound(40, 1, -1, radians(90), bound);
    EXPECT_GT(bound, 1e-6);
}

// ---- The recursion ------------------------------------------------------------

TEST(WigdAccurate, AgreesWithHighPrecisionReferencesUpToJ200)
{
    // J = 300, 500 and 876 in wigner_exhaustive_test, labelled slow; the
    // symmetry and orthogonality below reach J = 300.
    expect_references_met(0, 200);
}

TEST(WigdAccurate, MatrixAndSingleValuesAreTheSameBits)
{
    const int j = 23;
    const double b = radians(71);
    std::vector<double> d((2 * j + 1) * (2 * j + 1)), work(wigd_work_size(j));
    wigd_accurate_matrix(j, b, d, work);
    for (int m = -j; m <= j; m += 5)
        for (int mp = -j; mp <= j; mp += 3)
            EXPECT_TRUE(same_bits(d[(mp + j) + (m + j) * (2 * j + 1)], wigd_accurate(j, mp, m, b)));
    EXPECT_EQ(wigd_accurate(j, j + 1, 0, b), 0.0);
}

TEST(WigdAccurate, HasTheSymmetriesOfTheRotationMatrix)
{
    // d_{m'm} = (-1)^(m'-m) d_{mm'} = d_{-m,-m'}
    for (int j : {7, 40, 121, 300}) {
        const int n = 2 * j + 1;
        std::vector<double> d(n * n), work(wigd_work_size(j));
        for (int deg : {1, 64, 90, 151, 180}) {
            wigd_accurate_matrix(j, radians(deg), d, work);
            auto el = [&](int mp, int m) { return d[(mp + j) + (m + j) * n]; };
            double worst = 0;
            for (int m = -j; m <= j; ++m)
                for (int mp = -j; mp <= j; ++mp) {
                    const double sign = (mp - m) % 2 == 0 ? 1.0 : -1.0;
                    worst = std::max(worst, std::fabs(el(mp, m) - sign * el(m, mp)));
                    worst = std::max(worst, std::fabs(el(mp, m) - el(-m, -mp)));
                }
            EXPECT_LT(worst, 5e-15) << j << ' ' << deg;
        }
    }
}

TEST(WigdAccurate, IsOrthogonalUpToLargeJ)
{
    for (int j : {10, 100, 300}) {
        const int n = 2 * j + 1;
        std::vector<double> d(n * n), work(wigd_work_size(j));
        for (int deg : {37, 90, 163}) {
            wigd_accurate_matrix(j, radians(deg), d, work);
            double worst = 0;
            for (int a = 0; a < n; ++a)
                for (int b = a; b < n; ++b) {
                    double dot = 0;
                    for (int k = 0; k < n; ++k) dot += d[k + a * n] * d[k + b * n];
                    worst = std::max(worst, std::fabs(dot - (a == b ? 1.0 : 0.0)));
                }
            EXPECT_LT(worst, 1e-13) << j << ' ' << deg;
        }
    }
}

// ---- Trusted values -------------------------------------------------------------

TEST(WigdTrusted, IsTheSeriesBitForBitUpToJ17)
{
    // On a dense sample of whole degrees; the literal wigd on J = 0 and 1, on
    // the edges |K| = J of every J and on one element in eleven elsewhere.
    // Every degree against the literal series throughout:
    // wigner_exhaustive_test, labelled slow.
    for (int deg = 0; deg <= 180; ++deg)
        if (deg % 5 == 0 || std::abs(deg - 90) == 1 || deg == 1 || deg == 179)
            expect_plane_is_series_up_to_j17(deg, [deg](int j, int k1, int k2) {
                return j <= 1 || std::abs(k1) == j || std::abs(k2) == j || (j + k1 + 2 * k2 + deg) % 11 == 0;
            });
    for (int deg : {0, 90, 180})
        EXPECT_TRUE(same_bits(wigd_trusted(16, 1, -1, radians(deg)), wigd(16, 1, -1, radians(deg))));
}

TEST(WigdTrusted, PlaneAndMatrixGiveTheSingleValueBits)
{
    const int jmax = 30;
    const std::size_t size = (jmax + 1) * (2 * jmax + 1) * (2 * jmax + 1);
    std::vector<double> plane(size), work(wigd_work_size(jmax));
    std::vector<double> d((2 * jmax + 1) * (2 * jmax + 1));
    const double unset = std::numeric_limits<double>::quiet_NaN();
    for (int deg : {0, 29, 90, 180}) {
        const double b = radians(deg);
        const wigd_angle_tables t(jmax, b);
        std::fill(plane.begin(), plane.end(), unset);
        wigd_trusted_plane(jmax, b, t.view(), plane, work, true);
        for (int j : {0, 1, 17, 18, 29, 30}) {
            const int n = 2 * j + 1;
            wigd_trusted_matrix(j, b, t.view(), d, work, wigd_limit_for(jmax));
            for (int k2 = -jmax; k2 <= jmax; ++k2)
                for (int k1 = -jmax; k1 <= jmax; ++k1) {
                    const double v = plane[plane_at(jmax, j, k1, k2)];
                    if (std::abs(k1) > j || std::abs(k2) > j || (k1 - k2) % 2 != 0) {
                        ASSERT_TRUE(std::isnan(v)) << j << ' ' << k1 << ' ' << k2;
                        continue;
                    }
                    ASSERT_TRUE(same_bits(v, d[(k1 + j) + (k2 + j) * n])) << j << ' ' << k1 << ' ' << k2;
                    if ((k1 + 2 * k2) % 7 == 0) {
                        ASSERT_TRUE(same_bits(v, wigd_trusted(j, k1, k2, b, wigd_limit_for(jmax)))) << j << ' ' << k1 << ' ' << k2;
                    }
                }
        }
    }
}

}  // namespace
