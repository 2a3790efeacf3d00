// The stable recursion in J: against the high-precision references, with
// the symmetries and the orthogonality of a rotation matrix, and the same
// bits at J however far the sweep is to go.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "routines/wigner/recursion.hpp"
#include "tests/routines/wigner_checks.hpp"

namespace {

using namespace wigner_checks;

TEST(ReferenceTable, CoversTheRangeTheTestsRelyOn)
{
    const auto& rows = references();
    ASSERT_GT(rows.size(), 5000u);
    bool j120 = false, at_limit = false, mixed_signs = false;
    for (const auto& r : rows) {
        j120 = j120 || (r.j == 120 && r.deg == 90);
        at_limit = at_limit || r.j == jmax_limit;
        mixed_signs = mixed_signs || (r.mp < 0 && r.m > 0);
    }
    EXPECT_TRUE(j120 && at_limit && mixed_signs);
}

TEST(Recursion, AgreesWithHighPrecisionReferencesUpToJ200)
{
    // J = 300, 500 and 876 in wigner_exhaustive_test, labelled slow; the
    // symmetry and orthogonality below reach J = 300.
    expect_recursion_meets_references(0, 200);
}

TEST(Recursion, GivesTheSameBitsAtJHoweverFarTheSweepGoes)
{
    // A plane sweeps up to the last J it needs, the straightforward trusted
    // plane up to jmax: the values at J must not depend on it.
    const int j = 23;
    const double b = radians(71);
    std::vector<double> d((2 * j + 1) * (2 * j + 1)), work(sweep_work_size(j));
    wigd_accurate_matrix(j, b, d, work);
    std::vector<double> longer(sweep_work_size(40));
    sweep sw = sweep_start(40, b, longer);
    while (sw.j < j) sweep_next(sw);
    for (int m = -j; m <= j; ++m)
        for (int mp = -j; mp <= j; ++mp)
            ASSERT_TRUE(same_bits(d[matrix_at(j, mp, m)], sweep_element(sw, mp, m))) << mp << ' ' << m;
}

TEST(Recursion, HasTheSymmetriesOfTheRotationMatrix)
{
    // d_{m'm} = (-1)^(m'-m) d_{mm'} = d_{-m,-m'}
    for (int j : {7, 40, 121, 300}) {
        const int n = 2 * j + 1;
        std::vector<double> d(n * n), work(sweep_work_size(j));
        for (int deg : {1, 64, 90, 151, 180}) {
            wigd_accurate_matrix(j, radians(deg), d, work);
            auto el = [&](int mp, int m) { return d[matrix_at(j, mp, m)]; };
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

TEST(Recursion, IsOrthogonalUpToLargeJ)
{
    for (int j : {10, 100, 300}) {
        const int n = 2 * j + 1;
        std::vector<double> d(n * n), work(sweep_work_size(j));
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

}  // namespace
