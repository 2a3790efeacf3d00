// The scan: grid values, the report line, the full scan's figures, and the
// threaded, memoised scan against a literal one-configuration-at-a-time loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "brantor/cage.hpp"
#include "brantor/scan.hpp"
#include "tests/support/files.hpp"
#include "tests/support/paths.hpp"
#include "textio/textio.hpp"

using namespace brantor;

namespace {

struct scan_text {
    std::string detail, report;
};

scan_text run_scan(int nthreads)
{
    scan_text s;
    scan(nthreads, [&](std::string_view d, std::string_view r) {
        s.detail += d;
        s.report += r;
    });
    return s;
}

// The scan as the plain nested loop over the grid, one caleng call per
// configuration, no memo, no threads.
struct literal_scan {
    scan_text text;
    std::vector<double> energy;
    std::vector<euler> angles;
    std::vector<point> shift;
};

literal_scan run_literal()
{
    literal_scan s;
    for (int ix = 1; ix <= nshift; ++ix)
        for (int iy = 1; iy <= nshift; ++iy)
            for (int iz = 1; iz <= nshift; ++iz)
                for (int iphi = 1; iphi <= nphi; ++iphi)
                    for (int ithe = 1; ithe <= nthe; ++ithe)
                        for (int ichi = 1; ichi <= nchi; ++ichi) {
                            const point t = {grid_shift(ix), grid_shift(iy), grid_shift(iz)};
                            const euler a = {grid_angle(iphi), grid_angle(ithe), grid_angle(ichi)};
                            double e = 0;
                            caleng(t, e, a, s.text.detail);
                            put_report_line(s.text.report, t, a, e);
                            s.energy.push_back(e);
                            s.angles.push_back(a);
                            s.shift.push_back(t);
                        }
    return s;
}

using test_support::lines_of;

std::string fixed(double v, int w, int d)
{
    std::string s;
    textio::put_f(s, v, w, d);
    return s;
}

class EnergyScan : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        literal = new literal_scan(run_literal());
        one = new scan_text(run_scan(1));
        report = new std::vector<std::string>(lines_of(one->report));
        detail = new std::vector<std::string>(lines_of(one->detail));
    }
    static void TearDownTestSuite()
    {
        delete literal;
        delete one;
        delete report;
        delete detail;
    }
    static inline literal_scan* literal = nullptr;
    static inline scan_text* one = nullptr;
    static inline std::vector<std::string>* report = nullptr;
    static inline std::vector<std::string>* detail = nullptr;
};

}  // namespace

TEST(ScanGrid, ValuesComeFromTheirCounters)
{
    EXPECT_EQ(nconfig, 42336);
    EXPECT_EQ(grid_shift(1), 0.0);
    EXPECT_EQ(grid_shift(4), 0.30000000000000004);  // 3 * 0.1, not 0.3
    EXPECT_EQ(grid_shift(6), 0.5);
    EXPECT_EQ(grid_angle(1), 0.0);
    EXPECT_EQ(fixed(degrees(grid_angle(2)), 5, 1), " 60.0");
    EXPECT_EQ(fixed(degrees(grid_angle(7)), 5, 1), "360.0");
}

TEST(ScanReportLine, HasTheFixedLayout)
{
    std::string s;
    put_report_line(s, {0.0, grid_shift(4), 0.5}, {grid_angle(2), grid_angle(4), grid_angle(7)}, -6.34264);
    EXPECT_EQ(s, "  0.00  0.30  0.50  phi = 60.0  the =180.0  chi =360.0  energy =           -6.3426\n");
    EXPECT_EQ(s.size(), 83u);
}

TEST_F(EnergyScan, WritesOneLineOfEachKindPerConfiguration)
{
    ASSERT_EQ(report->size(), 42336u);
    ASSERT_EQ(detail->size(), 42336u);
    for (const auto& l : *report) ASSERT_EQ(l.size(), 82u) << l;
    for (const auto& l : *detail) ASSERT_EQ(l.size(), 144u) << l;
    EXPECT_EQ(one->report.back(), '\n');
    EXPECT_EQ(one->detail.back(), '\n');
}

TEST_F(EnergyScan, ReferenceLines)
{
    const auto& r = *report;
    EXPECT_EQ(r[0], "  0.00  0.00  0.00  phi =  0.0  the =  0.0  chi =  0.0  energy =           -6.3426");
    EXPECT_EQ(r[1], "  0.00  0.00  0.00  phi =  0.0  the =  0.0  chi = 60.0  energy =           -6.3423");
    EXPECT_EQ(r[6], "  0.00  0.00  0.00  phi =  0.0  the =  0.0  chi =360.0  energy =           -6.3426");
    EXPECT_EQ(r[168], "  0.00  0.00  0.00  phi =360.0  the =  0.0  chi =  0.0  energy =           -6.3426");
    EXPECT_EQ(r[42335], "  0.50  0.50  0.50  phi =360.0  the =180.0  chi =360.0  energy =           24.2060");
    EXPECT_EQ(r[3 * 6 * 6 * 7 * 4 * 7].substr(0, 18), "  0.30  0.00  0.00");
}

TEST_F(EnergyScan, EnergyRangeAndWhereItIsReached)
{
    // Eight equivalent orientations at the centre print as the minimum; the
    // two lowest in the last bits are phi 60, theta 120, chi 120 and 300.
    const auto& e = literal->energy;
    std::vector<std::size_t> order(e.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](auto a, auto b) { return e[a] < e[b]; });
    EXPECT_EQ(fixed(e[order.front()], 18, 4), "           -6.3481");
    EXPECT_EQ(fixed(e[order.back()], 18, 4), "           32.5033");
    const auto where = [&](std::size_t i) { return (*report)[i].substr(0, 64); };
    EXPECT_EQ(std::min(where(order[0]), where(order[1])),
              "  0.00  0.00  0.00  phi = 60.0  the =120.0  chi =120.0  energy =");
    EXPECT_EQ(std::max(where(order[0]), where(order[1])),
              "  0.00  0.00  0.00  phi = 60.0  the =120.0  chi =300.0  energy =");
    EXPECT_EQ(where(order.back()), "  0.50  0.50  0.50  phi = 60.0  the =120.0  chi =  0.0  energy =");
}

TEST_F(EnergyScan, MatchesSampledLinesOfAnIndependentImplementation)
{
    for (const auto& [name, lines] : {std::pair{"fort.33", report}, std::pair{"fort.44", detail}}) {
        std::ifstream in(test_support::test_data_path(std::string("brantor/") + name + ".samples"));
        ASSERT_TRUE(in) << name;
        int n = 0;
        for (std::string l; std::getline(in, l); ++n) {
            const auto tab = l.find('\t');
            const std::size_t number = std::stoul(l.substr(0, tab));
            if (l.substr(tab + 1) == "<<lines>>") {  // the sample that gives the line count
                EXPECT_EQ(lines->size(), number) << name;
                continue;
            }
            ASSERT_LE(number, lines->size());
            EXPECT_EQ((*lines)[number - 1], l.substr(tab + 1)) << name << " line " << number;
        }
        EXPECT_GT(n, 40) << name;
    }
}

TEST_F(EnergyScan, EqualsTheLiteralLoopByteForByte)
{
    EXPECT_TRUE(one->report == literal->text.report);
    EXPECT_TRUE(one->detail == literal->text.detail);
}

TEST_F(EnergyScan, MemoisedEnergiesAreBitIdentical)
{
    oxygen_memo memo;
    std::size_t differ = 0;
    for (std::size_t i = 0; i < literal->energy.size(); ++i) {
        const double e = place_and_sum(literal->angles[i], literal->shift[i], memo).energy;
        differ += std::bit_cast<std::uint64_t>(e) != std::bit_cast<std::uint64_t>(literal->energy[i]);
    }
    EXPECT_EQ(differ, 0u);
}

TEST_F(EnergyScan, AnyThreadCountGivesTheSameText)
{
    for (int n : {2, 3, 5}) {
        const scan_text s = run_scan(n);
        EXPECT_TRUE(s.report == one->report) << n << " threads";
        EXPECT_TRUE(s.detail == one->detail) << n << " threads";
    }
}
