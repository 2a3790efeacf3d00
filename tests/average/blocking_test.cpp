// The error analysis of the means: the one-pass blocking and the heat
// capacity's jackknife against a straightforward binary128 computation over
// the stored records, the choice of the block size, and the statistics of
// autoregressive series whose errors are known exactly.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "average/blocking.hpp"
#include "tests/support/paths.hpp"

namespace {

using average::error_quantities;
using average::record;
using average::reported_columns;
using average::reported_count;
using quad = __float128;

// ---- The straightforward computation ----------------------------------------

// Level k of the stored records in binary128: block means summed plainly,
// the variance about their mean in a second pass, the heat capacity's
// jackknife by leaving each block out in turn.
struct reference_level {
    std::int64_t blocks = 0;
    std::array<double, error_quantities> error{};
};

double root(quad v) { return std::sqrt(static_cast<double>(v)); }

quad heat_capacity(quad a, quad c, const average::run_settings& run)
{
    const quad offset = static_cast<quad>(1.5) * run.molecules * run.slices * run.temperature;
    const quad t = run.temperature;
    return ((offset - a) * (offset - a) + c) / (t * t);
}

std::vector<reference_level> reference_levels(const std::vector<record>& records, const average::run_settings& run)
{
    std::vector<reference_level> levels;
    const std::int64_t count = static_cast<std::int64_t>(records.size());
    for (std::int64_t size = 1; count / size >= 2; size *= 2) {
        const std::int64_t n = count / size;
        reference_level l;
        l.blocks = n;
        std::vector<std::vector<quad>> block(reported_count, std::vector<quad>(n));
        for (int j = 0; j < reported_count; ++j) {
            for (std::int64_t i = 0; i < n; ++i) {
                quad s = 0;
                for (std::int64_t t = 0; t < size; ++t) s += records[i * size + t][reported_columns[j]];
                block[j][i] = s / size;
            }
            quad mean = 0;
            for (quad b : block[j]) mean += b;
            mean /= n;
            quad m2 = 0;
            for (quad b : block[j]) m2 += (b - mean) * (b - mean);
            l.error[j] = root(m2 / n / (n - 1));
        }
        const std::vector<quad>& a = block[4];
        const std::vector<quad>& c = block[5];
        quad sa = 0, sc = 0;
        for (std::int64_t i = 0; i < n; ++i) sa += a[i], sc += c[i];
        std::vector<quad> f(n);
        quad fm = 0;
        for (std::int64_t i = 0; i < n; ++i) fm += f[i] = heat_capacity((sa - a[i]) / (n - 1), (sc - c[i]) / (n - 1), run);
        fm /= n;
        quad s = 0;
        for (quad v : f) s += (v - fm) * (v - fm);
        l.error[average::heat_capacity_quantity] = root(static_cast<quad>(n - 1) / n * s);
        levels.push_back(l);
    }
    return levels;
}

average::error_analysis analysed(const std::vector<record>& records, const average::run_settings& run)
{
    average::blocking_sums sums;
    for (const record& r : records) average::add_to_blocking(sums, r);
    return average::analyse_errors(sums, run);
}

::testing::AssertionResult near(double got, double expected, double relative)
{
    if (std::fabs(got - expected) <= relative * std::fabs(expected)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << got << " against " << expected << ", relative difference "
                                         << (got - expected) / expected;
}

// ---- Series ----------------------------------------------------------------

// Unit normal deviates from a fixed generator (Box and Muller), the same on
// every machine with the same C library.
class normal_deviates {
public:
    explicit normal_deviates(std::uint64_t seed) : bits_(seed) {}
    double operator()()
    {
        const double u1 = static_cast<double>((bits_() >> 11) + 1) * 0x1p-53;   // (0, 1]
        const double u2 = static_cast<double>(bits_() >> 11) * 0x1p-53;
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }

private:
    std::mt19937_64 bits_;
};

// x_t = phi x_(t-1) + e_t, started in its stationary distribution.
std::vector<double> autoregressive(double phi, std::int64_t n, std::uint64_t seed)
{
    normal_deviates e(seed);
    std::vector<double> x(n);
    x[0] = e() / std::sqrt(1.0 - phi * phi);
    for (std::int64_t t = 1; t < n; ++t) x[t] = phi * x[t - 1] + e();
    return x;
}

// Records with energies far from zero and correlated over a few records:
// kinetic near 1e6 K, potential near -3e4 K, a rotational energy near 1e-3 K,
// a total near the heat capacity's offset 1920 K of `hot_run`.
std::vector<record> far_from_zero(std::int64_t n, double first_record_off_by)
{
    const std::vector<double> a = autoregressive(0.8, n, 11), b = autoregressive(0.3, n, 12),
                              c = autoregressive(0.95, n, 13), d = autoregressive(0.6, n, 14),
                              e = autoregressive(0.4, n, 15);
    std::vector<record> records(n);
    for (std::int64_t t = 0; t < n; ++t) {
        record& r = records[t];
        r = {static_cast<double>(t), 1e6 + 0.5 * a[t], -3e4 + b[t], 0, 1e-3 * (1 + 0.01 * c[t]), 0,
             1900 + 2 * d[t], 30 + 3 * e[t], 0, 0};
        if (t == 0)
            for (double& v : r) v += first_record_off_by * 3;
        r[3] = r[1] + r[2];
    }
    return records;
}

const average::run_settings hot_run{.temperature = 10.0, .slices = 64, .molecules = 2};

// ---- Tests -------------------------------------------------------------------

TEST(Blocking, AgreesWithABinary128TwoPassComputationOnEveryValue)
{
    for (double off : {0.0, 20.0}) {
        SCOPED_TRACE("first record off by " + std::to_string(off) + " standard deviations");
        const std::vector<record> records = far_from_zero((1 << 16) + 1234, off);
        const average::error_analysis a = analysed(records, hot_run);
        const std::vector<reference_level> ref = reference_levels(records, hot_run);

        ASSERT_EQ(a.levels.size(), ref.size());
        for (std::size_t k = 0; k < ref.size(); ++k) {
            EXPECT_EQ(a.levels[k].block_size, std::int64_t{1} << k);
            EXPECT_EQ(a.levels[k].blocks, ref[k].blocks);
            for (int q = 0; q < error_quantities; ++q) {
                const double n = static_cast<double>(ref[k].blocks);
                EXPECT_TRUE(near(a.levels[k].quantity[q].error, ref[k].error[q], 1e-12)) << "level " << k << " q " << q;
                EXPECT_TRUE(near(a.levels[k].quantity[q].error_of_error, ref[k].error[q] / std::sqrt(2 * (n - 1)),
                                 1e-12));
            }
        }

        std::array<quad, reported_count> sum{};
        for (const record& r : records)
            for (int j = 0; j < reported_count; ++j) sum[j] += r[reported_columns[j]];
        const quad n = static_cast<quad>(records.size());
        for (int q = 0; q < error_quantities; ++q) {
            SCOPED_TRACE("quantity " + std::to_string(q));
            const average::error_estimate& e = a.estimate[q];
            if (q < reported_count) {
                const quad mean = sum[q] / n;
                quad m2 = 0;
                for (const record& r : records) m2 += (r[reported_columns[q]] - mean) * (r[reported_columns[q]] - mean);
                EXPECT_TRUE(near(e.mean, static_cast<double>(mean), 1e-12));
                EXPECT_TRUE(near(e.naive_error, root(m2 / n / n), 1e-12));
            } else {
                EXPECT_TRUE(near(e.mean, static_cast<double>(heat_capacity(sum[4] / n, sum[5] / n, hot_run)), 1e-12));
                EXPECT_TRUE(near(e.naive_error, ref[0].error[q], 1e-12));
            }
            ASSERT_TRUE(e.plateau);
            const int k = average::chosen_level(a.levels, q, a.count);
            EXPECT_EQ(e.block_size, std::int64_t{1} << k);
            const double ratio = ref[k].error[q] / ref[0].error[q];
            EXPECT_TRUE(near(e.error, ref[k].error[q], 1e-12));
            EXPECT_TRUE(near(e.tau, 0.5 * ratio * ratio, 1e-12));
            EXPECT_TRUE(near(e.effective_samples, static_cast<double>(n) / (ratio * ratio), 1e-12));
        }
    }
}

// Synthetic levels: a run of `count` records whose errors grow by the
// factors given from one level to the next.
std::vector<average::blocking_level> levels_of(std::int64_t count, const std::vector<double>& errors)
{
    std::vector<average::blocking_level> levels;
    for (std::size_t k = 0; k < errors.size(); ++k) {
        average::blocking_level l;
        l.block_size = std::int64_t{1} << k;
        l.blocks = count >> k;
        l.quantity[0].error = errors[k];
        levels.push_back(l);
    }
    return levels;
}

TEST(Blocking, ChoosesTheSmallestBlockSizeWhoseCubeReachesTwiceTheCountTimesTheRatioToTheFourth)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct choice {
        const char* what;
        std::int64_t count;
        std::vector<double> errors;
        int level;
    } cases[] = {
        // 1024 records: B^3 >= 2048 r^4, and 16 blocks up to B = 64.
        {"uncorrelated: B = 16", 1024, {1, 1, 1, 1, 1, 1, 1}, 4},
        {"the criterion met with equality", 1024, {1, 1, 1, 2, 2, 2, 2}, 5},
        {"missed by a hair, met a level up", 1024, {1, 1, 1, 2, 2, 2.0000001, 2}, 6},
        {"met at the last level with 16 blocks", 1024, {1, 1, 1, 1, 2, 2.5, 3, 3}, 6},
        {"met only with 8 blocks: none", 1024, {1, 1, 1, 1, 2, 2.5, 4, 1}, -1},
        {"still growing: none", 1024, {1, 1.5, 2, 2.5, 3, 3.5, 4, 4}, -1},
        {"a constant quantity: level 0", 64, {0, 0, 0, 0, 0}, 0},
        {"too few records for 16 blocks", 15, {1, 1, 1}, -1},
        {"not a number", 1024, {nan, nan, nan, nan, nan}, -1},
    };
    for (const choice& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(average::chosen_level(levels_of(c.count, c.errors), 0, c.count), c.level);
    }
}

struct exact_ar1 {
    double phi;
    std::int64_t count;
    double standard_error;
    double tau;
};

// The exact values written by tests/data/average/errors/ar1_exact.py.
std::vector<exact_ar1> exact_values()
{
    std::ifstream in(test_support::test_data_path("average/errors/ar1_exact.txt"));
    std::vector<exact_ar1> values;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        exact_ar1 v;
        words >> v.phi >> v.count >> v.standard_error >> v.tau;
        values.push_back(v);
    }
    return values;
}

average::error_analysis analysed_series(const std::vector<double>& x)
{
    average::blocking_sums sums;
    for (double v : x) {
        // The same series in two columns, once far from zero.
        average::add_to_blocking(sums, record{0, v, 1e6 + v, 0, 0, 0, v, v, 0, 0});
    }
    return average::analyse_errors(sums, average::run_settings{});
}

TEST(Blocking, FindsTheExactErrorOfAutoregressiveSeriesWithinItsOwnError)
{
    const std::vector<exact_ar1> exact = exact_values();
    ASSERT_EQ(exact.size(), 8u);
    int checked = 0;
    for (const exact_ar1& e : exact) {
        if (e.phi > 0.9 || e.count != (1 << 20)) continue;
        for (std::uint64_t seed : {1, 2, 3}) {
            SCOPED_TRACE("phi " + std::to_string(e.phi) + ", seed " + std::to_string(seed));
            const average::error_analysis a = analysed_series(autoregressive(e.phi, e.count, seed));
            const average::error_estimate& got = a.estimate[0];
            ASSERT_TRUE(got.plateau);
            EXPECT_LE(std::fabs(got.error - e.standard_error), 3 * got.error_of_error)
                << got.error << " against " << e.standard_error << " +- " << got.error_of_error;
            // tau_int goes as the square of the error
            EXPECT_LE(std::fabs(got.tau - e.tau), 3 * 2 * e.tau * got.error_of_error / got.error) << got.tau;
            EXPECT_NEAR(got.effective_samples, e.count / (2 * got.tau), 1e-9 * e.count);
            // far from zero, the same error
            EXPECT_TRUE(near(a.estimate[1].error, got.error, 1e-12));
            ++checked;
        }
    }
    EXPECT_EQ(checked, 9);
}

TEST(Blocking, GivesNoErrorBarForARunShorterThanItsCorrelationTime)
{
    // phi = 0.99: tau_int = 99.5 against 4096 records.
    for (std::uint64_t seed = 1; seed <= 8; ++seed) {
        const average::error_analysis a = analysed_series(autoregressive(0.99, 1 << 12, seed));
        for (int q : {0, 1, 4, 5, average::heat_capacity_quantity}) {
            EXPECT_FALSE(a.estimate[q].plateau) << "seed " << seed << " quantity " << q;
            EXPECT_TRUE(std::isnan(a.estimate[q].error));
            EXPECT_EQ(a.estimate[q].block_size, 0);
        }
    }
}

}  // namespace
