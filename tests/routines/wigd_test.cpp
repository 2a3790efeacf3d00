// Wigner small-d in binary128: closed forms, the empty summation range, and
// the tabulated form that must give the literal routine's bits.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "routines/wigd.hpp"
#include "tests/routines/wigner_cases.hpp"
#include "tests/support/bits.hpp"

using namespace routines;

namespace {

using wigner_cases::radians;
using test_support::same_bits;

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
    // terms that cancel, so at j = 20 the recipe holds some ten digits.
    const double b = radians(73);
    for (int j : {5, 20}) {
        for (int mp = -j; mp <= j; ++mp) {
            double norm = 0;
            for (int m = -j; m <= j; ++m) norm += wigd(j, mp, m, b) * wigd(j, mp, m, b);
            EXPECT_NEAR(norm, 1.0, j <= 5 ? 1e-13 : 1e-9) << j << ' ' << mp;
        }
    }
}

TEST(WigdTabulated, GivesTheLiteralBitsOnEveryElement)
{
    const int jtop = 12;
    std::vector<double> lnf(wigd_lnf_size(jtop));
    std::vector<__float128> cp(wigd_pow_size(jtop)), np(wigd_pow_size(jtop));
    fill_wigd_lnf(jtop, lnf);
    for (int deg : {0, 1, 44, 90, 163, 179, 180}) {
        const double b = radians(deg);
        fill_wigd_powers(jtop, b, cp, np);
        const wigd_tables t{lnf, cp, np};
        for (int j = 0; j <= jtop; ++j)
            for (int mp = -j; mp <= j; ++mp)
                for (int m = -j; m <= j; ++m) {
                    const double lit = wigd(j, mp, m, b);
                    __float128 size = -1;
                    ASSERT_TRUE(same_bits(wigd_tabulated(j, mp, m, t), lit))
                        << deg << ' ' << j << ' ' << mp << ' ' << m;
                    ASSERT_TRUE(same_bits(wigd_tabulated(j, mp, m, t, &size), lit));
                    ASSERT_GE(static_cast<double>(size) * (1 + 0x1p-52), std::fabs(lit));
                }
    }
}

TEST(WigdTabulated, KeptFactorsGiveTheLiteralBitsAtEveryAngle)
{
    const int jtop = 14;
    std::vector<double> lnf(wigd_lnf_size(jtop));
    std::vector<__float128> factors(jtop + 1);
    fill_wigd_lnf(jtop, lnf);
    const int degrees[] = {0, 3, 90, 151, 180};
    std::vector<wigd_angle_tables> tables;
    for (int deg : degrees) tables.emplace_back(jtop, radians(deg));
    for (int j = 0; j <= jtop; ++j)
        for (int mp = -j - 1; mp <= j + 1; ++mp)
            for (int m = -j; m <= j; ++m) {
                const int n = wigd_term_count(j, mp, m);
                ASSERT_LE(n, j + 1);
                fill_wigd_factors(j, mp, m, lnf, factors.data());
                for (std::size_t a = 0; a < std::size(degrees); ++a) {
                    const int deg = degrees[a];
                    const auto &cp = tables[a].cos_pow, &np = tables[a].nsin_pow;
                    __float128 s1 = 0, s2 = 0;
                    const double lit = wigd_tabulated(j, mp, m, {lnf, cp, np}, &s1);
                    ASSERT_TRUE(same_bits(wigd_from_factors(j, mp, m, factors.data(), cp, np, &s2), lit))
                        << deg << ' ' << j << ' ' << mp << ' ' << m;
                    ASSERT_TRUE(s1 == s2);
                    if (deg == 151) {
                        ASSERT_TRUE(same_bits(wigd(j, mp, m, radians(deg)), lit));
                    }
                }
            }
}

TEST(WigdTabulated, AbsoluteSumOfTermsMeasuresTheCancellation)
{
    // At theta = 90 degrees and moderate j the alternating terms exceed the
    // result by orders of magnitude; the absolute sum shows it.
    const int j = 40;
    std::vector<double> lnf(wigd_lnf_size(j));
    std::vector<__float128> cp(wigd_pow_size(j)), np(wigd_pow_size(j));
    fill_wigd_lnf(j, lnf);
    fill_wigd_powers(j, radians(90), cp, np);
    __float128 size = 0;
    const double d = wigd_tabulated(j, 0, 0, {lnf, cp, np}, &size);
    EXPECT_GT(static_cast<double>(size), 1e3 * std::fabs(d));
    __float128 none = 0;
    EXPECT_TRUE(same_bits(wigd_tabulated(j, 0, j + 1, {lnf, cp, np}, &none), 0.0));
    EXPECT_EQ(static_cast<double>(none), 0.0);
}

}  // namespace
