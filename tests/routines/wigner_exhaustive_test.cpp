// The exhaustive versions of checks that the default suite makes on a
// sample: the Wigner tables of a plane hold the literal series bit for bit
// at every whole degree up to jmax 17, and the straightforward trusted
// values at every plane of jmax 40 (with the terms the fill leaves out);
// they meet the references up to J = 60 at every angle and J = 120 at three,
// and the recursion meets them up to the largest J; the three-term values
// make orthogonal matrices at J = 400.
#include <gtest/gtest.h>

#include "tests/routines/wigner_checks.hpp"

namespace {

using namespace wigner_checks;

TEST(WignerPlane, RunsUpToJmax17KeepTheLiteralSeriesBitsAtEveryPlane)
{
    wigner_plane w;
    reserve_wigner_plane(w, 17);
    for (int ithe = 0; ithe <= 180; ++ithe) expect_series_bits_at_jmax17(w, ithe, [](int, int, int) { return true; });
}

TEST(WignerPlane, HoldsTheTrustedValuesAtEveryPlaneOfJmax40)
{
    std::vector<int> planes;
    for (int ithe = 0; ithe <= 180; ++ithe) planes.push_back(ithe);
    expect_trusted_values_at_jmax40(planes, 2);
}

TEST(WignerPlane, MeetsTheReferencesUpToJmax60AndAtJmax120)
{
    // At jmax 120 on the planes where the series cancels most (90) and not
    // at all (0, 180): a plane of that size away from them takes seconds.
    expect_plane_meets_references(60);
    expect_plane_meets_references(120, {0, 90, 180});
}

TEST(Recursion, AgreesWithHighPrecisionReferencesFromJ201ToTheLimit)
{
    expect_recursion_meets_references(201, jmax_limit);
}

TEST(ThreeTerm, GivesOrthogonalMatricesAtJ400)
{
    // Dot products of 801 terms summed in double round by some 1e-15.
    for (int deg : {1, 90, 179}) EXPECT_LT(orthogonality_defect(400, three_term_matrix(400, radians(deg))), 1e-14) << deg;
}

}  // namespace
