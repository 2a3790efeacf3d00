// Fw.d, Ew.d and Iw fields against the Fortran runtime's own output, and the
// fast fields against the straightforward snprintf ones on many values.
#include "tests/textio/reference_fields.hpp"
#include "textio/textio.hpp"
#include "tests/textio/vectors.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <random>
#include <sstream>

namespace {

std::string f(double v, int w, int d)
{
    std::string s;
    textio::put_f(s, v, w, d);
    return s;
}

std::string e(double v, int w, int d)
{
    std::string s;
    textio::put_e(s, v, w, d);
    return s;
}

std::string i(std::int64_t v, int w)
{
    std::string s;
    textio::put_i(s, v, w);
    return s;
}

struct field_case {
    char kind;
    int w, d;
    std::string value;   // bits in hex, or a decimal integer
    std::string field;
};

std::vector<field_case> runtime_fields()
{
    std::vector<field_case> cases;
    for (const std::string& line : vectors::lines("fixed_fields.txt")) {
        std::istringstream in(line);
        field_case c;
        in >> c.kind >> c.w >> c.d >> c.value;
        std::size_t open = line.find('|');
        c.field = line.substr(open + 1, line.size() - open - 2);
        cases.push_back(c);
    }
    return cases;
}

TEST(FixedFields, MatchTheFortranRuntimeOnEveryVector)
{
    std::vector<field_case> cases = runtime_fields();
    ASSERT_GT(cases.size(), 20000u);
    int failures = 0;
    for (const field_case& c : cases) {
        std::string got, ref;
        if (c.kind == 'I') {
            std::int64_t v = std::stoll(c.value);
            got = i(v, c.w);
            ref = reference::i(v, c.w);
        } else {
            double v = vectors::from_hex(c.value);
            got = c.kind == 'F' ? f(v, c.w, c.d) : e(v, c.w, c.d);
            ref = c.kind == 'F' ? reference::f(v, c.w, c.d) : reference::e(v, c.w, c.d);
        }
        bool ok = got == c.field && ref == c.field;
        if (!ok && ++failures <= 20)
            ADD_FAILURE() << c.kind << c.w << '.' << c.d << " of " << c.value << ": runtime [" << c.field
                          << "] fast [" << got << "] reference [" << ref << "]";
    }
    EXPECT_EQ(failures, 0);
}

TEST(FixedFields, RoundTiesToEvenOnTheExactBinaryValue)
{
    EXPECT_EQ(f(0.125, 5, 2), " 0.12");
    EXPECT_EQ(f(0.375, 5, 2), " 0.38");
    EXPECT_EQ(f(2.5, 4, 0), "  2.");
    EXPECT_EQ(f(3.5, 4, 0), "  4.");
    EXPECT_EQ(f(0.15, 4, 1), " 0.1");   // 0.1499999999999999944...
    EXPECT_EQ(f(9.99995, 10, 5), "   9.99995");
    EXPECT_EQ(f(9.999995, 10, 5), "  10.00000");
    EXPECT_EQ(e(0.125, 15, 2).substr(9), "12E+00");
}

TEST(FixedFields, KeepTheSignOfANegativeValueRoundedToZero)
{
    EXPECT_EQ(f(-0.000001, 10, 5), "  -0.00000");
    EXPECT_EQ(f(-0.0, 9, 4), "  -0.0000");
    EXPECT_EQ(e(-0.0, 15, 8), "-0.00000000E+00");
    EXPECT_EQ(f(-0.1, 5, 0), "  -0.");
}

TEST(FixedFields, DropTheLeadingZeroOnlyWhenTheFieldIsFull)
{
    EXPECT_EQ(f(0.5, 4, 2), "0.50");
    EXPECT_EQ(f(0.5, 3, 2), ".50");
    EXPECT_EQ(f(-0.5, 4, 2), "-.50");
    EXPECT_EQ(e(1.0, 14, 8), "0.10000000E+01");
    EXPECT_EQ(e(-1.0, 14, 8), "-.10000000E+01");
    EXPECT_EQ(f(0.1, 2, 0), "0.");
    EXPECT_EQ(f(0.1, 1, 0), "*");
    EXPECT_EQ(f(-0.1, 2, 0), "**");
}

TEST(FixedFields, FillWithAsterisksWhatDoesNotFit)
{
    EXPECT_EQ(f(10000.0, 10, 5), "**********");
    EXPECT_EQ(f(9999.99996, 9, 4), "*********");
    EXPECT_EQ(f(9999.99995, 9, 4), "9999.9999");   // 9999.99994999...
    EXPECT_EQ(f(-999.9999, 9, 4), "-999.9999");
    EXPECT_EQ(f(DBL_MAX, 20, 8), std::string(20, '*'));
    EXPECT_EQ(f(1e300, 40, 30), std::string(40, '*'));
    EXPECT_EQ(i(100000, 5), "*****");
    EXPECT_EQ(i(-10000, 5), "*****");
    EXPECT_EQ(i(INT64_MIN, 20), "-9223372036854775808");
    EXPECT_EQ(e(1.0, 6, 2), "******");
}

TEST(FixedFields, WriteExponentsBeyondNinetyNineWithoutTheLetter)
{
    EXPECT_EQ(e(1e-100, 15, 8), " 0.10000000E-99");
    EXPECT_EQ(e(1e-101, 15, 8), " 0.10000000-100");
    EXPECT_EQ(e(DBL_MAX, 15, 8), " 0.17976931+309");
    EXPECT_EQ(e(std::bit_cast<double>(std::uint64_t{1}), 15, 8), " 0.49406565-323");
    EXPECT_EQ(e(9.999999996e99, 15, 8), " 0.10000000+101");
}

TEST(FixedFields, WriteNaNAndInfinityAsTheRuntimeDoes)
{
    double inf = HUGE_VAL;
    EXPECT_EQ(f(std::nan(""), 10, 5), "       NaN");
    EXPECT_EQ(f(-std::nan(""), 10, 5), "       NaN");
    EXPECT_EQ(e(std::nan(""), 15, 8), "            NaN");
    EXPECT_EQ(f(inf, 10, 5), "  Infinity");
    EXPECT_EQ(f(-inf, 10, 5), " -Infinity");
    EXPECT_EQ(f(-inf, 8, 3), "    -Inf");
    EXPECT_EQ(f(-inf, 3, 1), "***");
    EXPECT_EQ(f(std::nan(""), 2, 1), "**");
}

TEST(FixedFields, AppendToWhatIsThere)
{
    std::string line = "tau=";
    textio::put_f(line, 0.00143869, 10, 5);
    textio::put_i(line, 7, 3);
    EXPECT_EQ(line, "tau=   0.00144  7");
}

// Values of every magnitude and kind from random bit patterns, and values
// whose digits land inside the fields.
double random_value(std::mt19937_64& rng, int w, int d)
{
    switch (rng() % 4) {
    case 0:
    case 1:
        return std::bit_cast<double>(rng());
    case 2: {
        std::uniform_real_distribution<double> expo(-d - 3, w - d);
        double v = std::pow(10.0, expo(rng));
        return rng() % 2 ? -v : v;
    }
    default: {
        // next to a decimal tie of the field
        std::uniform_int_distribution<std::int64_t> n(0, 99999999);
        double v = (static_cast<double>(n(rng)) + 0.5) * std::pow(10.0, -d);
        std::int64_t steps = static_cast<std::int64_t>(rng() % 5) - 2;
        return std::bit_cast<double>(std::bit_cast<std::uint64_t>(v) + static_cast<std::uint64_t>(steps));
    }
    }
}

struct width {
    char kind;
    int w, d;
};

constexpr width program_widths[] = {{'F', 9, 4},  {'F', 10, 5}, {'F', 12, 6}, {'F', 16, 6}, {'F', 18, 4},
                                    {'F', 20, 8}, {'F', 6, 2},  {'F', 5, 1},  {'E', 15, 8}};

TEST(FixedFields, FastFieldsEqualTheReferenceOnHalfAMillionValues)
{
    // The fuzz harness of the fields goes on from here, for as long as it is
    // given.
    std::mt19937_64 rng(20261208);
    const int per_width = 60000;
    std::string got;
    for (const width& k : program_widths) {
        int failures = 0;
        for (int n = 0; n < per_width; ++n) {
            double v = random_value(rng, k.w, k.d);
            got.clear();
            if (k.kind == 'F')
                textio::put_f(got, v, k.w, k.d);
            else
                textio::put_e(got, v, k.w, k.d);
            std::string ref = k.kind == 'F' ? reference::f(v, k.w, k.d) : reference::e(v, k.w, k.d);
            if (got != ref && ++failures <= 10)
                ADD_FAILURE() << k.kind << k.w << '.' << k.d << " of " << std::hexfloat << v << ": fast [" << got
                              << "] reference [" << ref << "]";
        }
        EXPECT_EQ(failures, 0) << k.kind << k.w << '.' << k.d;
    }
}

// Every precision and a spread of widths, with magnitudes across both sides
// of the edges of the exact integer path (about 1e-20 and 1e26 for E fields,
// 10^22 and 2^63 for F fields).
TEST(FixedFields, FastFieldsEqualTheReferenceAtEveryPrecision)
{
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> expo(-26, 30);
    std::string got;
    for (char kind : {'F', 'E'}) {
        for (int d = kind == 'F' ? 0 : 1; d <= 20; ++d) {
            int failures = 0;
            for (int n = 0; n < 40000; ++n) {
                int w = d + (kind == 'F' ? 1 : 5) + static_cast<int>(rng() % 16);
                double v = n % 2 ? random_value(rng, w, d) : std::pow(10.0, expo(rng));
                if (n % 3 == 0) v = -v;
                got.clear();
                if (kind == 'F')
                    textio::put_f(got, v, w, d);
                else
                    textio::put_e(got, v, w, d);
                std::string ref = kind == 'F' ? reference::f(v, w, d) : reference::e(v, w, d);
                if (got != ref && ++failures <= 5)
                    ADD_FAILURE() << kind << w << '.' << d << " of " << std::hexfloat << v << ": fast [" << got
                                  << "] reference [" << ref << "]";
            }
            EXPECT_EQ(failures, 0) << kind << " with " << d << " decimals";
        }
    }
}

TEST(FixedFields, IntegerFieldsEqualTheReference)
{
    std::mt19937_64 rng(7);
    for (int w : {1, 2, 3, 4, 5, 11, 12, 20}) {
        for (int n = 0; n < 100000; ++n) {
            std::int64_t v = static_cast<std::int64_t>(rng() >> (rng() % 64));
            if (n % 2) v = -v;
            ASSERT_EQ(i(v, w), reference::i(v, w)) << v << " in I" << w;
        }
    }
}

}  // namespace
