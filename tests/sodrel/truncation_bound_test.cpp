// The truncation bound of sodrel --accuracy against the share of the table
// that a cut basis really leaves out, summed directly in extended precision
// from levels solved on another path (dense blocks, tred2 and tql): never
// below it, hardly above it; the jmax it picks; the bound as printed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "routines/parity_blocks.hpp"
#include "routines/rotmat.hpp"
#include "routines/tql.hpp"
#include "sodrel/accuracy_report.hpp"
#include "sodrel/truncation_bound.hpp"

namespace {

using routines::parity;
constexpr double infinity = std::numeric_limits<double>::infinity();

struct bound_case {
    const char* name;
    double temp;
    int nslice;
    int iodevn;
    double ax, az, ay;
};

kelvane::run_args args_of(const bound_case& c)
{
    kelvane::run_args a;
    a.temp = c.temp;
    a.nslice = c.nslice;
    a.iodevn = c.iodevn;
    a.ax = c.ax;
    a.az = c.az;
    a.ay = c.ay;
    return a;
}

std::vector<double> dense_levels(int j, parity par, const bound_case& c)
{
    const int n = routines::block_order(j, par);
    const int k0 = routines::block_first_k(j, par);
    if (n == 0) return {};
    std::vector<double> a(static_cast<std::size_t>(n) * n), d(n), e(n);
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < n; ++k) a[i + k * n] = routines::rotmat(j, k0 + 2 * i, k0 + 2 * k, c.ax, c.az, c.ay);
    EXPECT_TRUE(routines::tql(n, n, a.data(), d.data(), e.data()));
    return d;
}

// What the table leaves out at each jmax, relative to what it surely holds,
// the worst of rho, rho.eng and rho.esq (+inf where it holds nothing of
// one); and the smallest jmax whose highest level passes the cutoff test.
struct left_out {
    std::vector<double> share;
    int first_passing = -1;
};

left_out left_out_share(const bound_case& c, int jlast, int jend)
{
    const double beta = 1.0 / (0.6950356 * c.temp);
    const double tau = beta / c.nslice;
    using sums = std::array<long double, 3>;
    std::vector<sums> all(jend + 1), cut(jend + 1), kept(jend + 1);
    left_out r;
    double emax = 0;
    for (int j = 0; j <= jend; ++j) {
        const long double w = (2 * j + 1) / 78.95683520871486L;
        for (const parity par : routines::both_parities) {
            for (const double e : dense_levels(j, par, c)) {
                emax = std::max(emax, e);
                if (c.iodevn != -1 && (c.iodevn == 0) != (par == parity::even)) continue;
                // kelvane's weight cut, as it computes it.
                const bool dropped = (2 * j + 1) / 78.95683520871486 * std::exp(-tau * e) < 1e-16;
                for (int m = 0; m < 3; ++m) {
                    const long double t = w * std::exp(-static_cast<long double>(tau) * e) * std::pow(e, m);
                    all[j][m] += t;
                    (dropped ? cut : kept)[j][m] += t;
                }
            }
        }
        if (r.first_passing < 0 && std::exp(-beta * emax) <= 1e-8 && std::exp(-tau * emax) <= 1e-8)
            r.first_passing = j;
    }
    sums held{}, dropped{}, beyond{};
    for (int j = 0; j <= jend; ++j)
        for (int m = 0; m < 3; ++m) beyond[m] += all[j][m];
    for (int j = 0; j <= jlast; ++j) {
        double worst = 0;
        for (int m = 0; m < 3; ++m) {
            held[m] += kept[j][m];
            dropped[m] += cut[j][m];
            beyond[m] -= all[j][m];
            worst = std::max(worst, held[m] > 0 ? static_cast<double>((dropped[m] + beyond[m]) / held[m]) : infinity);
        }
        r.share.push_back(worst);
    }
    return r;
}

const bound_case cases[] = {
    {"water, both parities", 10, 8, -1, 27.877, 14.512, 9.285},
    {"water, even K", 10, 8, 0, 27.877, 14.512, 9.285},
    {"water, odd K", 10, 16, 1, 27.877, 14.512, 9.285},
    {"water, hotter", 40, 8, -1, 27.877, 14.512, 9.285},
    {"water, cold and few slices", 2, 4, 1, 27.877, 14.512, 9.285},
    {"symmetric top", 10, 16, -1, 10.25, 5.5, 10.25},
    {"other axis order", 10, 16, 0, 9.285, 27.877, 14.512},
    {"one small constant", 20, 8, -1, 30, 30, 2},
};

TEST(TruncationBound, NeverBelowWhatTheCutLeavesOutAndHardlyAbove)
{
    const double tol = 1e-8;
    for (const bound_case& c : cases) {
        SCOPED_TRACE(c.name);
        const sodrel::truncation_table t = sodrel::truncation_bounds(args_of(c), tol);
        const int jlast = static_cast<int>(t.bound.size()) - 1;
        const left_out ref = left_out_share(c, jlast, jlast + 60);
        EXPECT_EQ(t.first_passing, ref.first_passing);
        ASSERT_GE(jlast, ref.first_passing);
        for (int j = 0; j <= jlast; ++j) {
            const double b = t.bound[j], exact = ref.share[j];
            if (exact == infinity) {
                EXPECT_EQ(b, infinity) << j;
                continue;
            }
            EXPECT_GE(b, exact) << j;
            // The remainder beyond the exact levels adds at most 1e-3 tol.
            if (j >= ref.first_passing) {
                EXPECT_LE(b, exact * 1.0001 + 2e-3 * tol) << j;
            }
        }
        // The answer: the first jmax past the cutoff test whose share meets
        // tol, or the next when the share lies within the allowance of tol.
        int smallest = ref.first_passing;
        while (smallest <= jlast && ref.share[smallest] > tol) ++smallest;
        const sodrel::accuracy_answer a = sodrel::accurate_jmax(args_of(c), tol);
        EXPECT_GE(a.jmax, smallest);
        EXPECT_LE(a.jmax, smallest + (ref.share[smallest] > tol * 0.99 ? 1 : 0));
        EXPECT_EQ(a.bound, t.bound[a.jmax]);
    }
}

TEST(TruncationBound, ATolerancePastTheWeightCutsFloorHasNoAnswer)
{
    // The levels below the density's weight cut are left out at every jmax.
    const bound_case& water = cases[0];
    const sodrel::accuracy_answer a = sodrel::accurate_jmax(args_of(water), 1e-16);
    EXPECT_EQ(a.jmax, -1);
    ASSERT_GE(a.best_jmax, a.first_passing);
    const left_out ref = left_out_share(water, a.best_jmax, a.best_jmax + 60);
    EXPECT_GE(a.best_bound, ref.share[a.best_jmax]);
    EXPECT_GT(a.best_bound, 1e-16);
}

TEST(TruncationBound, IsPrintedRoundedUpToTwoDigits)
{
    const struct {
        double v;
        const char* text;
    } cases[] = {
        {6.1e-9, "6.1e-09"},   {6.1000001e-9, "6.2e-09"}, {6.149e-9, "6.2e-09"}, {9.91e-7, "1.0e-06"},
        {9.96e-7, "1.0e-06"},  {1.0, "1.0e+00"},          {1.01e-300, "1.1e-300"},
    };
    for (const auto& c : cases) EXPECT_EQ(sodrel::two_digits_up(c.v), c.text) << c.v;
}

}  // namespace
