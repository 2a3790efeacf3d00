// The Wigner tables of a theta plane: the straightforward trusted values bit
// for bit whatever the thread count, the series' bits in runs up to jmax 17,
// and the high-precision references met with the limit of each kind of run.
// On a sample of planes here, on every plane in the slow tests.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/routines/wigner_checks.hpp"

namespace {

using namespace wigner_checks;

TEST(WignerPlane, HoldsTheTrustedValuesOnAnyThreadCount)
{
    // Planes where the series' terms fall steeply (0, 1), rise steeply (179,
    // 180) and cancel (90); one table kept over the planes, so later planes
    // use the factors made for earlier ones.
    expect_trusted_values_at_jmax40({90, 0, 1, 179, 180}, 1);
    expect_trusted_values_at_jmax40({1}, 2);
}

TEST(WignerPlane, RunsUpToJmax17KeepTheSeriesBits)
{
    // On a dense sample of whole degrees; the literal wigd on J = 0 and 1, on
    // the edges |K| = J of every J and on one element in eleven elsewhere.
    wigner_plane w;
    reserve_wigner_plane(w, 17);
    for (int ithe = 0; ithe <= 180; ++ithe)
        if (ithe % 5 == 0 || std::abs(ithe - 90) == 1 || ithe == 1 || ithe == 179)
            expect_series_bits_at_jmax17(w, ithe, [ithe](int j, int k1, int k2) {
                return j <= 1 || std::abs(k1) == j || std::abs(k2) == j || (j + k1 + 2 * k2 + ithe) % 11 == 0;
            });
}

TEST(WignerPlane, MeetsTheReferencesAtJmax17And40)
{
    // Up to J = 120 in wigner_exhaustive_test, labelled slow.
    expect_plane_meets_references(17);
    expect_plane_meets_references(40);
}

}  // namespace
