// Matrix elements of the asymmetric top: ladder coefficients, the three
// cases of rotmat, its permuted twin rotma2, and kdel.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "routines/rotmat.hpp"

using namespace routines;

TEST(LadderCoefficients, VanishOutsideTheRangeOfK)
{
    for (int j = 0; j <= 40; ++j) {
        EXPECT_EQ(cplus(j, j), 0.0);
        EXPECT_EQ(cplus(j, -j - 1), 0.0);
        EXPECT_EQ(cminus(j, -j), 0.0);
        EXPECT_EQ(cminus(j, j + 1), 0.0);
        EXPECT_EQ(cplus(j, -j), std::sqrt(2.0 * j));
        EXPECT_EQ(cminus(j, j), std::sqrt(2.0 * j));
    }
}

TEST(LadderCoefficients, RaisingFromKEqualsLoweringFromKPlusOne)
{
    for (int j = 1; j <= 60; ++j)
        for (int k = -j; k < j; ++k) EXPECT_EQ(cplus(j, k), cminus(j, k + 1)) << j << " " << k;
}

TEST(Rotmat, ElementsOfTheSmallBlocks)
{
    EXPECT_EQ(rotmat(0, 0, 0, 27.877, 14.512, 9.285), 0.0);
    EXPECT_EQ(rotmat(1, 1, 1, 1.0, 2.0, 3.0), 4.0);
    EXPECT_EQ(rotmat(1, 1, -1, 1.0, 2.0, 3.0), (1.0 - 3.0) * 0.25 * std::sqrt(2.0) * std::sqrt(2.0));
    EXPECT_DOUBLE_EQ(rotmat(1, 1, -1, 5.0, 2.0, 3.0), 1.0);
    EXPECT_EQ(rotmat(2, 2, 0, 5.0, 2.0, 3.0), (5.0 - 3.0) * 0.25 * std::sqrt(6.0) * std::sqrt(4.0));
}

TEST(Rotmat, OnlyKAndKPlusMinusTwoCouple)
{
    for (int dk : {1, 3, 4, 5, 6}) {
        EXPECT_EQ(rotmat(5, 0, dk, 27.877, 14.512, 9.285), 0.0);
        EXPECT_EQ(rotmat(5, dk - 3, -3, 27.877, 14.512, 9.285), 0.0);
    }
}

TEST(Rotmat, SymmetricTopHasNoOffDiagonalElement)
{
    for (int j = 0; j <= 20; ++j)
        for (int k = -j; k <= j - 2; ++k) {
            EXPECT_EQ(rotmat(j, k + 2, k, 10.0, 5.0, 10.0), 0.0);
            EXPECT_EQ(rotmat(j, k, k + 2, 10.0, 5.0, 10.0), 0.0);
        }
}

// The two off-diagonal cases multiply the same two square roots in opposite
// order, so they agree to rounding only; blocks are filled from the lower
// triangle and mirrored for that reason.
TEST(Rotmat, BlocksAreSymmetricToRounding)
{
    for (int j = 0; j <= 80; ++j)
        for (int k = -j; k <= j - 2; ++k) {
            const double lower = rotmat(j, k + 2, k, 27.877, 14.512, 9.285);
            EXPECT_NEAR(lower, rotmat(j, k, k + 2, 27.877, 14.512, 9.285), std::ldexp(std::fabs(lower), -51));
        }
}

TEST(Rotmat, StepsLeavingTheBasisGiveZero)
{
    // K' = J - 1 raised twice would pass K = J.
    EXPECT_EQ(rotmat(4, 5, 3, 27.877, 14.512, 9.285), 0.0);
    EXPECT_EQ(rotmat(4, -5, -3, 27.877, 14.512, 9.285), 0.0);
}

TEST(Rotma2, AgreesWithRotmatWithTheConstantsPermuted)
{
    std::mt19937_64 gen(7);
    std::uniform_real_distribution<double> u(0.5, 40.0);
    for (int trial = 0; trial < 200; ++trial) {
        const double x = u(gen), z = u(gen), y = u(gen);
        const int j = trial % 30;
        for (int k = -j; k <= j; ++k)
            for (int kp : {k - 2, k, k + 2}) {
                const double a = rotmat(j, k, kp, x, z, y);
                const double b = rotma2(j, k, kp, z, x, y);
                EXPECT_NEAR(a, b, 8 * std::ldexp(std::fabs(a), -52) + 1e-300);
            }
    }
    EXPECT_EQ(rotma2(3, 1, 0, 1.0, 2.0, 3.0), 0.0);
}

TEST(Kdel, IsTheKroneckerDelta)
{
    EXPECT_EQ(kdel(5, 5), 1);
    EXPECT_EQ(kdel(5, -5), 0);
    EXPECT_EQ(kdel(-999, -999), 1);
    EXPECT_EQ(kdel(-1000, 0), 0);
    for (int i = -20; i <= 20; ++i)
        for (int j = -20; j <= 20; ++j) EXPECT_EQ(kdel(i, j), i == j ? 1 : 0);
}
