// Column statistics beyond what the program tests reach: very long files.

#include <gtest/gtest.h>

#include "average/energy_statistics.hpp"

namespace {

using average::record;

TEST(EnergyStatistics, CountStaysExactBeyondWhatSinglePrecisionHolds)
{
    // 2^24 + 1 records: a single-precision count would stop at 2^24 and the
    // means would come out 1 + 2^-24 instead of 1.
    average::column_sums sums;
    const record ones{1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    for (int k = 0; k < (1 << 24) + 1; ++k) average::add_to_sums(sums, ones);
    EXPECT_EQ(sums.count, (1 << 24) + 1);
    EXPECT_EQ(average::column_means(sums)[1], 1.0);
    EXPECT_EQ(average::count_line(sums.count), " number of points     16777217");
}

}  // namespace
