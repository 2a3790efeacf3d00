// Up to jmax 17 the density stage keeps the series' bits on every plane (the
// default suite checks a dense sample of planes).
#include <gtest/gtest.h>

#include "tests/kelvane/stage_blocks.hpp"

TEST(PlaneWigner, RunsUpToJmax17KeepTheSeriesBitsAtEveryPlane)
{
    for (int ithe = 0; ithe <= 180; ++ithe) kelvane::stage_blocks::expect_series_bits_at_jmax17(ithe);
}
