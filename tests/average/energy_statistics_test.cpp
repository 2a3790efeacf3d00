// Means, deviations, heat capacity and the four report lines.

#include <gtest/gtest.h>

#include <cmath>

#include "energy_statistics.hpp"

namespace {

using average::columns;
using average::record;

TEST(EnergyStatistics, WorkedExampleGivesItsMeansDeviationsAndHeatCapacity)
{
    const record a{1, 10, -20, -10, 5, 0, -5, 30, 0, 0};
    const record b{2, 14, -22, -8, 7, 0, -1, 34, 0, 0};
    average::column_sums sums;
    average::add_to_sums(sums, a);
    average::add_to_sums(sums, b);
    const columns mean = average::column_means(sums);
    columns squares{};
    average::add_squared_deviations(squares, mean, a);
    average::add_squared_deviations(squares, mean, b);
    const columns dev = average::standard_deviations(squares, sums.count);
    const double cv = average::heat_capacity(mean);

    EXPECT_EQ(average::count_line(sums.count), " number of points            2");
    EXPECT_EQ(average::means_line(mean),
              "Ekin=         12.00000000K  Epot=        -21.00000000K  Ekin+pot=         -9.00000000"
              "K  Erot=          6.00000000K  Ekin+pot+rot=         -3.00000000K  CvE=          32.00000000");
    EXPECT_EQ(average::deviations_line(dev),
              "skin=          2.00000000K  spot=          1.00000000K  skin+pot=          1.00000000"
              "K  srot=          1.00000000K  skin+pot+rot=          2.00000000K  sCvE=          2.00000000");
    EXPECT_EQ(cv, 148034.5625);
    EXPECT_EQ(average::heat_capacity_line(cv), "<Cv>=     148034.56250000 Kb");
    EXPECT_EQ(mean[0], 0.0);   // column 1 is never summed
}

TEST(EnergyStatistics, NoRecordsGiveNotANumberEverywhere)
{
    const average::column_sums none;
    const columns mean = average::column_means(none);
    const columns dev = average::standard_deviations(columns{}, 0);
    EXPECT_TRUE(std::isnan(mean[4]) && std::isnan(dev[7]) && std::isnan(average::heat_capacity(mean)));
    EXPECT_EQ(average::heat_capacity_line(average::heat_capacity(mean)), "<Cv>=                 NaN Kb");
    EXPECT_EQ(average::means_line(mean).size(), 177u);
    EXPECT_EQ(average::deviations_line(dev).size(), 177u);
}

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
