// The explicit series of the Wigner small-d element: the literal sum's
// closed forms and zeros; the series from the tables of an angle and from
// kept factors, with the literal bits; its bound against the references and
// the cancellation; the screen, which never contradicts the bound.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "routines/wigner/series.hpp"
#include "tests/routines/wigner_checks.hpp"

namespace {

using namespace wigner_checks;

TEST(Wigd, MatchesTheClosedFormsOfSpinOne)
{
    for (int deg : {0, 1, 30, 90, 137, 180}) {
        const double b = radians(deg);
        EXPECT_NEAR(wigd(1, 0, 0, b), std::cos(b), 1e-15) << deg;
        EXPECT_NEAR(wigd(1, 1, 1, b), (1 + std::cos(b)) / 2, 1e-15) << deg;
        EXPECT_NEAR(wigd(1, 1, -1, b), (1 - std::cos(b)) / 2, 1e-15) << deg;
        // The first projection is the row: d^1_{10} = -sin/sqrt2, d^1_{01} = +sin/sqrt2.
        EXPECT_NEAR(wigd(1, 1, 0, b), -std::sin(b) / std::sqrt(2.0), 1e-15) << deg;
        EXPECT_NEAR(wigd(1, 0, 1, b), std::sin(b) / std::sqrt(2.0), 1e-15) << deg;
    }
}

TEST(Wigd, IsTheIdentityAtZeroAngleAndOneForSpinZero)
{
    for (int j = 0; j <= 12; ++j)
        for (int mp = -j; mp <= j; ++mp)
            for (int m = -j; m <= j; ++m) {
                const double d = wigd(j, mp, m, 0.0);
                if (mp == m)  // to the accuracy of the double log-factorials
                    EXPECT_NEAR(d, 1.0, 1e-13);
                else
                    EXPECT_TRUE(same_bits(d, 0.0)) << j << ' ' << mp << ' ' << m << ' ' << d;
            }
    for (int deg : {0, 17, 90, 180}) EXPECT_NEAR(wigd(0, 0, 0, radians(deg)), 1.0, 1e-16);
}

TEST(Wigd, IsExactlyZeroOutsideTheProjectionRange)
{
    for (int j = 0; j <= 4; ++j) {
        EXPECT_TRUE(same_bits(wigd(j, 0, j + 1, 0.7), 0.0));
        EXPECT_TRUE(same_bits(wigd(j, j + 1, 0, 0.7), 0.0));
        EXPECT_TRUE(same_bits(wigd(j, 0, -j - 1, 0.7), 0.0));
    }
}

TEST(Wigd, RowsAreOrthonormal)
{
    // The double log-factorials carry a relative error of some 1e-15 into
    // terms that cancel, so at j = 20 the series holds some ten digits.
    const double b = radians(73);
    for (int j : {5, 20}) {
        for (int mp = -j; mp <= j; ++mp) {
            double norm = 0;
            for (int m = -j; m <= j; ++m) norm += wigd(j, mp, m, b) * wigd(j, mp, m, b);
            EXPECT_NEAR(norm, 1.0, j <= 5 ? 1e-13 : 1e-9) << j << ' ' << mp;
        }
    }
}

TEST(SeriesTerms, GiveTheLiteralBitsFromTheTablesOfTheAngle)
{
    // Every element up to J = 12, and at four angles J = 16, 20 and 24,
    // where the terms cancel by orders of magnitude near 90 degrees.
    const int jtop = 24;
    for (int deg : {0, 1, 44, 45, 90, 163, 179, 180}) {
        const double b = radians(deg);
        const wigd_angle_tables t(jtop, b);
        const bool large = deg == 0 || deg == 45 || deg == 90 || deg == 179;
        for (int j = 0; j <= (large ? jtop : 12); j += (j < 12 ? 1 : 4))
            for (int mp = -j; mp <= j; ++mp)
                for (int m = -j; m <= j; ++m) {
                    const double literal = wigd(j, mp, m, b);
                    __float128 size = -1;
                    ASSERT_TRUE(same_bits(wigd_tabulated(j, mp, m, t.view(), &size), literal))
                        << deg << ' ' << j << ' ' << mp << ' ' << m;
                    ASSERT_GE(static_cast<double>(size) * (1 + 0x1p-52), std::fabs(literal));
                }
    }
}

TEST(SeriesTerms, KeptFactorsGiveTheLiteralBitsAtEveryAngle)
{
    // A run keeps the angle-independent factors of every term for all its
    // planes: the value, the absolute sum and so the bound must be those of
    // the tables of each angle.
    const int jtop = 14;
    std::vector<__float128> factors(jtop + 1);
    const int degrees[] = {0, 3, 90, 151, 180};
    std::vector<wigd_angle_tables> tables;
    for (int deg : degrees) tables.emplace_back(jtop, radians(deg));
    for (int j = 0; j <= jtop; ++j)
        for (int mp = -j - 1; mp <= j + 1; ++mp)
            for (int m = -j; m <= j; ++m) {
                ASSERT_LE(series_terms(j, mp, m).count(), j + 1);
                fill_wigd_factors(j, mp, m, tables[0].lnf, factors.data());
                for (std::size_t a = 0; a < std::size(degrees); ++a) {
                    const int deg = degrees[a];
                    __float128 s1 = 0, s2 = 0;
                    const double direct = wigd_tabulated(j, mp, m, tables[a].view(), &s1);
                    ASSERT_TRUE(same_bits(wigd_from_factors(j, mp, m, factors.data(), tables[a].view(), &s2), direct))
                        << deg << ' ' << j << ' ' << mp << ' ' << m;
                    ASSERT_TRUE(s1 == s2);
                    if (deg == 151) {
                        ASSERT_TRUE(same_bits(wigd(j, mp, m, radians(deg)), direct));
                    }
                }
            }
}

TEST(SeriesTerms, AbsoluteSumOfTermsMeasuresTheCancellation)
{
    // At theta = 90 degrees and moderate j the alternating terms exceed the
    // result by orders of magnitude; the absolute sum shows it.
    const int j = 40;
    const wigd_angle_tables t(j, radians(90));
    __float128 size = 0;
    const double d = wigd_tabulated(j, 0, 0, t.view(), &size);
    EXPECT_GT(static_cast<double>(size), 1e3 * std::fabs(d));
    __float128 none = 0;
    EXPECT_TRUE(same_bits(wigd_tabulated(j, 0, j + 1, t.view(), &none), 0.0));
    EXPECT_EQ(static_cast<double>(none), 0.0);
}

TEST(SeriesBound, BoundsTheSeriesErrorAgainstTheReferences)
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

TEST(SeriesBound, GrowsWithTheCancellation)
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

TEST(SeriesScreen, NeverContradictsTheBoundAndSettlesMostValues)
{
    int settled = 0, count = 0, recursion = 0, failing = 0;
    for (int deg : {0, 3, 45, 90, 150, 179, 180}) {
        const double b = radians(deg);
        const int jtop = 44;
        const wigd_angle_tables t(jtop, b);
        const series_screen screen = screen_of(b);
        for (int j = 0; j <= jtop; j += (j < 14 ? 7 : 3))
            for (int mp = -j; mp <= j; ++mp)
                for (int m = -j; m <= j; m += 2) {
                    double bound;
                    wigd_recipe_bound(j, mp, m, t.view(), bound);
                    for (double limit : {trust_limit, strict_limit}) {
                        const bool kept = bound < limit;
                        const screen_verdict verdict = screen_element(series_terms(j, mp, m), t.lnf.data(), screen, limit);
                        if (verdict == screen_verdict::series) {
                            ASSERT_TRUE(kept) << j << ' ' << mp << ' ' << m << ' ' << deg;
                        }
                        if (verdict == screen_verdict::recursion) {
                            ASSERT_FALSE(kept) << j << ' ' << mp << ' ' << m << ' ' << deg;
                        }
                        ++count;
                        settled += verdict != screen_verdict::sum_with_bound;
                        recursion += verdict == screen_verdict::recursion;
                        failing += !kept;
                    }
                }
    }
    EXPECT_GT(4 * settled, 3 * count) << settled << " of " << count;
    EXPECT_GT(4 * recursion, 3 * failing) << recursion << " of " << failing;
}

}  // namespace
