// List-directed lines against the lines the Fortran runtime writes, and the
// exact read-back of every real they hold.
#include "textio/textio.hpp"
#include "tests/textio/vectors.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <random>
#include <sstream>

namespace {

// Items are t:text, i:integer, l:64-bit integer, r:bits of a real in hex,
// separated by ';'.
std::string build(const std::string& items)
{
    textio::free_line line;
    if (items.empty()) return line.str();
    std::size_t at = 0;
    while (at <= items.size()) {
        std::size_t next = items.find(';', at);
        if (next == std::string::npos) next = items.size();
        std::string item = items.substr(at, next - at);
        std::string value = item.substr(2);
        if (item[0] == 't')
            line.text(value);
        else if (item[0] == 'i')
            line.integer(std::stoi(value));
        else if (item[0] == 'l')
            line.integer64(std::stoll(value));
        else
            line.real(vectors::from_hex(value));
        at = next + 1;
    }
    return line.str();
}

TEST(FreeLine, MatchesTheFortranRuntimeOnEveryVector)
{
    std::vector<std::string> lines = vectors::lines("free_format.txt");
    ASSERT_GT(lines.size(), 3000u);
    int failures = 0;
    for (const std::string& line : lines) {
        std::size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos);
        std::string items = line.substr(0, tab);
        std::string expected = line.substr(tab + 1);
        std::string got = build(items);
        if (got != expected && ++failures <= 20)
            ADD_FAILURE() << items << "\n runtime [" << expected << "]\n    ours [" << got << "]";
    }
    EXPECT_EQ(failures, 0);
}

TEST(FreeLine, LaysOutTheReportLines)
{
    EXPECT_EQ(textio::free_line().text("jmax=").integer(4).str(), " jmax=           4");
    EXPECT_EQ(textio::free_line().text("emax=").real(494.64345633794136).text(" exponential=").real(1e-31).str(),
              " emax=   494.64345633794136       exponential=   1.0000000000000001E-031");
    EXPECT_EQ(textio::free_line().real(1.0).real(2.0).real(1e300).real(1e-5).str(),
              "   1.0000000000000000        2.0000000000000000        1.0000000000000001E+300"
              "   1.0000000000000001E-005");
    EXPECT_EQ(textio::free_line().integer(5).integer(6).str(), "           5           6");
    EXPECT_EQ(textio::free_line().str(), "");
}

TEST(FreeLine, SeparatesEveryItemButTextAfterText)
{
    EXPECT_EQ(textio::free_line().text("a").text("b").str(), " ab");
    EXPECT_EQ(textio::free_line().text("a").integer(5).text("b").str(), " a           5 b");
    EXPECT_EQ(textio::free_line().text("").integer(5).str(), "            5");
    EXPECT_EQ(textio::free_line().integer(5).text("").text("a").str(), "           5 a");
}

TEST(FreeLine, SwitchesToTheExponentLayoutOutsideTenthToTenToTheSeventeen)
{
    EXPECT_EQ(textio::free_line().real(0.1).str(), "  0.10000000000000001     ");
    EXPECT_EQ(textio::free_line().real(std::nextafter(0.1, 0.0)).str(), "   9.9999999999999992E-002");
    EXPECT_EQ(textio::free_line().real(99999999999999984.0).str(), "   99999999999999984.     ");
    EXPECT_EQ(textio::free_line().real(1e17).str(), "   1.0000000000000000E+017");
    EXPECT_EQ(textio::free_line().real(-0.0).str(), "  -0.0000000000000000     ");
    EXPECT_EQ(textio::free_line().real(std::nan("")).str(), "                       NaN");
    EXPECT_EQ(textio::free_line().real(-HUGE_VAL).str(), "                 -Infinity");
}

TEST(FreeLine, EveryRealReadsBackExactly)
{
    std::mt19937_64 rng(42);
    for (int n = 0; n < 200000; ++n) {
        double v = std::bit_cast<double>(rng());
        if (!std::isfinite(v)) continue;
        std::string s = textio::free_line().real(v).str();
        double back = std::strtod(s.c_str(), nullptr);
        ASSERT_EQ(std::bit_cast<std::uint64_t>(back), std::bit_cast<std::uint64_t>(v)) << s;
        auto parsed = textio::read_real(s);
        ASSERT_TRUE(parsed.has_value()) << s;
        ASSERT_EQ(std::bit_cast<std::uint64_t>(*parsed), std::bit_cast<std::uint64_t>(v)) << s;
    }
}

}  // namespace
