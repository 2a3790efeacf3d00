// The exhaustive versions of checks that the default suite makes on a
// sample: the trusted plane is the literal series bit for bit at every whole
// degree up to J = 17, and the recursion meets the references at the largest J.
#include <gtest/gtest.h>

#include <vector>

#include "tests/routines/wigner_cases.hpp"

namespace {

using namespace wigner_cases;

TEST(WigdTrusted, IsTheLiteralSeriesBitForBitUpToJ17)
{
    // Ordinary runs keep every bit: for j <= 17 the bound of the series stays
    // below the trust limit at every whole degree.
    const int jmax = 17;
    std::vector<double> plane((jmax + 1) * (2 * jmax + 1) * (2 * jmax + 1)), work(wigd_work_size(jmax));
    for (int deg = 0; deg <= 180; ++deg) {
        const double b = radians(deg);
        const wigd_angle_tables t(jmax, b);
        wigd_trusted_plane(jmax, b, t.view(), plane, work, false);
        for (int j = 0; j <= jmax; ++j)
            for (int k2 = -j; k2 <= j; ++k2)
                for (int k1 = -j; k1 <= j; ++k1)
                    ASSERT_TRUE(same_bits(plane[plane_at(jmax, j, k1, k2)], wigd(j, k1, k2, b)))
                        << j << ' ' << k1 << ' ' << k2 << ' ' << deg;
    }
    for (int deg : {0, 90, 180})
        EXPECT_TRUE(same_bits(wigd_trusted(16, 1, -1, radians(deg)), wigd(16, 1, -1, radians(deg))));
}

TEST(WigdAccurate, AgreesWithHighPrecisionReferencesFromJ300To876)
{
    expect_references_met(201, 876);
}

}  // namespace
