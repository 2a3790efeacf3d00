// The free-form number reader against the Fortran runtime's list-directed
// read, with the cases where it refuses what the runtime would accept.
#include "textio/textio.hpp"
#include "tests/textio/vectors.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <random>
#include <set>
#include <sstream>

namespace {

struct read_case {
    std::string text;   // the 30-column window
    int real_status;    // 0 read, 1 error or end of text, 2 null value
    double real;
    int int_status;
    std::int32_t integer;
};

std::vector<read_case> runtime_reads()
{
    std::vector<read_case> cases;
    for (const std::string& line : vectors::lines("read_values.txt")) {
        read_case c;
        c.text = line.substr(1, 30);
        std::istringstream in(line.substr(32));
        std::string bits;
        in >> c.real_status >> bits >> c.int_status >> c.integer;
        c.real = vectors::from_hex(bits);
        cases.push_back(c);
    }
    return cases;
}

// Texts the runtime reads as a value and the reader deliberately refuses:
// repeat counts, infinities and NaNs, an exponent without its letter or with
// Q, ';' as a separator, reals beyond the double range.
const std::set<std::string> refused = {
    "3*5", "2*3.5", "inf", "nan", "Infinity", "-Infinity", "NaN(abc)", "1+5", "1.0+5", "1-5", "1.5-3",
    "1.5+300", "1q5", "1;2", "1e400", "-1e400", "1.7976931348623159e308",
};

std::string trimmed(const std::string& s)
{
    std::size_t a = s.find_first_not_of(" \t");
    std::size_t b = s.find_last_not_of(" \t");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

TEST(Reader, AgreesWithTheFortranRuntimeOrRefusesDeliberately)
{
    std::vector<read_case> cases = runtime_reads();
    ASSERT_GT(cases.size(), 100u);
    for (const read_case& c : cases) {
        SCOPED_TRACE("[" + c.text + "]");
        auto r = textio::read_real(c.text);
        if (r) {
            ASSERT_EQ(c.real_status, 0);
            EXPECT_EQ(std::bit_cast<std::uint64_t>(*r), std::bit_cast<std::uint64_t>(c.real));
        } else if (c.real_status == 0) {
            EXPECT_TRUE(refused.count(trimmed(c.text))) << "refused a real the runtime reads";
        }
        auto i = textio::read_int(c.text);
        if (i) {
            ASSERT_EQ(c.int_status, 0);
            EXPECT_EQ(*i, c.integer);
        } else if (c.int_status == 0) {
            EXPECT_TRUE(refused.count(trimmed(c.text))) << "refused an integer the runtime reads";
        }
    }
}

// The records of an energy file take every form the runtime takes for a
// real; a repeat count or ";" is the business of the record reader around it.
TEST(Reader, ListDirectedRealsAreReadAsTheRuntimeReadsThem)
{
    int special = 0;
    for (const read_case& c : runtime_reads()) {
        const std::size_t from = c.text.find_first_not_of(" \t");
        if (from == std::string::npos) continue;
        const std::string value = c.text.substr(from, c.text.find_first_of(" \t,/", from) - from);
        if (value.empty() || value.find_first_of("*;") != std::string::npos) continue;
        SCOPED_TRACE("[" + value + "]");
        auto r = textio::parse_list_directed_real(value);
        ASSERT_EQ(r.has_value(), c.real_status == 0);
        if (!r) continue;
        EXPECT_EQ(std::bit_cast<std::uint64_t>(*r), std::bit_cast<std::uint64_t>(c.real));
        if (!std::isfinite(*r)) ++special;
    }
    EXPECT_GE(special, 5);
    // The sign of an infinity and of a NaN as written; NaN's tag is dropped.
    EXPECT_EQ(std::bit_cast<std::uint64_t>(*textio::parse_list_directed_real("-NaN(7)")), 0xFFF8000000000000u);
    EXPECT_EQ(textio::parse_list_directed_real("-iNfInItY"), -HUGE_VAL);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(*textio::parse_list_directed_real("-1-400")), 0x8000000000000000u);
    for (const char* t : {"1.0+", "1+-5", "+-1", "infinit", "infinityx", "inf()", "nan(", "nan()x", "nan())",
                          "nan(a;b)", "nan(a,b)", "nana", "1q", "-"})
        EXPECT_FALSE(textio::parse_list_directed_real(t).has_value()) << "[" << t << "]";
}

TEST(Reader, ReadsTheArgumentForms)
{
    EXPECT_EQ(textio::read_real("1.0D1"), 10.0);
    EXPECT_EQ(textio::read_real("3.0d2"), 300.0);
    EXPECT_EQ(textio::read_real("3e2"), 300.0);
    EXPECT_EQ(textio::read_real("2,junk"), 2.0);
    EXPECT_EQ(textio::read_real("27.877 14.512"), 27.877);
    EXPECT_EQ(textio::read_real("\t7\t"), 7.0);
    EXPECT_EQ(textio::read_real("5/"), 5.0);
    EXPECT_EQ(textio::read_int(" +5"), 5);
    EXPECT_EQ(textio::read_int("-2147483648"), INT32_MIN);
    EXPECT_EQ(textio::read_int("876,x"), 876);
}

TEST(Reader, RefusesWhatNoProgramCanUse)
{
    for (const char* t : {"", "   ", "-", "+", ".", "1e", "1.5e+", "e5", ",5", ",", "/", "3*", "3*5", "inf", "nan",
                          "1+5", "1q5", "0x10", "1.0e5x", "1.2.3", "--1", "1e400", "abc", "1;2"})
        EXPECT_FALSE(textio::read_real(t).has_value()) << "[" << t << "]";
    for (const char* t : {"2.0", "1e3", "2147483648", "-2147483649", "", "-", "+", "3*5", "5.", "0x10", "1;2"})
        EXPECT_FALSE(textio::read_int(t).has_value()) << "[" << t << "]";
}

TEST(Reader, KeepsTheSignOfZeroAndUnderflowsToZero)
{
    auto z = textio::read_real("-1e-400");
    ASSERT_TRUE(z.has_value());
    EXPECT_EQ(*z, 0.0);
    EXPECT_TRUE(std::signbit(*z));
    EXPECT_EQ(std::bit_cast<std::uint64_t>(*textio::read_real("4.9406564584124654e-324")), 1u);
}

TEST(Reader, LooksThroughAThirtyColumnWindow)
{
    char prog[] = "kelvane", a[] = "300", b[] = "1234567890123456789012345678905";
    char* argv[] = {prog, a, b, nullptr};
    EXPECT_EQ(textio::argument_window(3, argv, 1), "300" + std::string(27, ' '));
    EXPECT_EQ(textio::argument_window(3, argv, 2), "123456789012345678901234567890");
    EXPECT_EQ(textio::argument_window(3, argv, 3), std::string(30, ' '));
    EXPECT_FALSE(textio::read_int(textio::argument_window(3, argv, 3)).has_value());
    EXPECT_EQ(textio::read_real(textio::argument_window(3, argv, 2)), 123456789012345678901234567890.0);
}

TEST(Reader, ParseRealTakesOnlyAWholeToken)
{
    EXPECT_EQ(textio::parse_real("-.5E+3"), -500.0);
    EXPECT_EQ(textio::parse_real("+1.5D-3"), 1.5e-3);
    EXPECT_EQ(textio::parse_real("5."), 5.0);
    EXPECT_FALSE(textio::parse_real(" 5").has_value());
    EXPECT_FALSE(textio::parse_real("5 ").has_value());
    EXPECT_FALSE(textio::parse_real("5,").has_value());
    EXPECT_EQ(textio::parse_int("-9223372036854775808"), INT64_MIN);
    EXPECT_FALSE(textio::parse_int("9223372036854775808").has_value());
    EXPECT_FALSE(textio::parse_int("1.0").has_value());
    // a long token with the D exponent, beyond the reader's stack copy
    std::string longer = "0." + std::string(100, '0') + "1d101";
    EXPECT_EQ(textio::parse_real(longer), 1.0);
}

TEST(Reader, ParseRealIsCorrectlyRoundedInEveryNotation)
{
    std::mt19937_64 rng(3);
    char buf[64];
    for (int n = 0; n < 300000; ++n) {
        double v = std::bit_cast<double>(rng());
        if (!std::isfinite(v)) continue;
        const char* forms[] = {"%.17g", "%.17E", "%.20e", "%.3e", "%.25f"};
        std::snprintf(buf, sizeof buf, forms[n % 5], v);
        std::string s = buf;
        double expected = std::strtod(buf, nullptr);
        if (n % 2) {
            std::size_t e = s.find_first_of("eE");
            if (e != std::string::npos) s[e] = n % 4 == 1 ? 'd' : 'D';
        }
        auto got = textio::parse_real(s);
        ASSERT_TRUE(got.has_value()) << s;
        ASSERT_EQ(std::bit_cast<std::uint64_t>(*got), std::bit_cast<std::uint64_t>(expected)) << s;
        // The same digits with the exponent letter left out, as the runtime
        // writes exponents beyond +-99, or written as Q.
        const std::size_t e = s.find_first_of("eEdD");
        if (e != std::string::npos) {
            std::string other = s;
            if (n % 3)
                other.erase(e, 1);
            else
                other[e] = 'q';
            auto runtime = textio::parse_list_directed_real(other);
            ASSERT_TRUE(runtime.has_value()) << other;
            ASSERT_EQ(std::bit_cast<std::uint64_t>(*runtime), std::bit_cast<std::uint64_t>(expected)) << other;
        }
    }
}

}  // namespace
