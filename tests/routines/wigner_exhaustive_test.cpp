// The exhaustive versions of checks that the default suite makes on a
// sample: the trusted plane is the literal series bit for bit at every whole
// degree up to J = 17, the Wigner tables of a plane hold its bits at every
// plane (J <= 17, and jmax 40 with the terms the fill leaves out), and the
// recursion meets the references at the largest J.
#include <gtest/gtest.h>

#include "tests/routines/plane_checks.hpp"
#include "tests/routines/wigner_cases.hpp"

namespace {

using namespace wigner_cases;

TEST(WigdTrusted, IsTheLiteralSeriesBitForBitUpToJ17)
{
    for (int deg = 0; deg <= 180; ++deg) expect_plane_is_series_up_to_j17(deg, [](int, int, int) { return true; });
    for (int deg : {0, 90, 180})
        EXPECT_TRUE(same_bits(wigd_trusted(16, 1, -1, radians(deg)), wigd(16, 1, -1, radians(deg))));
}

TEST(WignerPlane, RunsUpToJmax17KeepTheSeriesBitsAtEveryPlane)
{
    routines::wigner_plane w;
    routines::reserve_wigner_plane(w, 17);
    for (int ithe = 0; ithe <= 180; ++ithe) routines::plane_checks::expect_series_bits_at_jmax17(w, ithe);
}

TEST(WignerPlane, HoldsTheTrustedValuesAtEveryPlaneOfJmax40)
{
    std::vector<int> planes;
    for (int ithe = 0; ithe <= 180; ++ithe) planes.push_back(ithe);
    routines::plane_checks::expect_trusted_values_at_jmax40(planes, 2);
}

TEST(WigdAccurate, AgreesWithHighPrecisionReferencesFromJ300To876)
{
    expect_references_met(201, 876);
}

}  // namespace
