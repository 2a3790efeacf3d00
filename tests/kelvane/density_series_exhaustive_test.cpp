// The Fourier-series planes of water at jmax 25 and 40 against the binary128
// yardstick, every block selection, planes 0, 1, 45, 90, 179 and 180.
#include <gtest/gtest.h>

#include "tests/kelvane/series_agreement.hpp"

namespace kelvane {
namespace {

using series_agreement::expect_planes_meet_yardstick;

TEST(SeriesPlaneLarge, MeetsTheYardstickAtJmax25And40)
{
    expect_planes_meet_yardstick(25, 10, 128, {0, 1, 45, 90, 179, 180});
    expect_planes_meet_yardstick(40, 20, 160, {0, 1, 45, 90, 179, 180});
}

}  // namespace
}  // namespace kelvane
