// The truncation bound of sodrel --accuracy against the share of the table a
// cut basis really leaves out, summed directly in extended precision from
// levels solved on another path (dense blocks through tred2 and tql): never
// below it, hardly above it, and the jmax it picks.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "routines/parity_blocks.hpp"
#include "routines/rotmat.hpp"
#include "routines/tql.hpp"
#include "sodrel/truncation_bound.hpp"

namespace {

using routines::parity;
constexpr double infinity = std::numeric_limits<double>::infinity();

// For each jmax up to jlast: what the table leaves out (J > jmax, and the
// levels below the density's weight cut) over what it holds, the worst of
// rho, rho.eng and rho.esq; and the smallest jmax passing the cutoff test.
std::pair<std::vector<double>, int> left_out_share(const kelvane::run_args& a, int jlast)
{
    const double beta = 1.0 / (0.6950356 * a.temp), tau = beta / a.nslice;
    const int jend = jlast + 60;
    std::vector<std::array<long double, 3>> all(jend + 1), cut(jend + 1), kept(jend + 1);
    int first_passing = -1;
    double emax = 0;
    for (int j = 0; j <= jend; ++j)
        for (const parity par : routines::both_parities) {
            const int n = routines::block_order(j, par), k0 = routines::block_first_k(j, par);
            std::vector<double> h(n * n), d(n), e(n);
            for (int i = 0; i < n * n; ++i) h[i] = routines::rotmat(j, k0 + 2 * (i % n), k0 + 2 * (i / n), a.ax, a.az, a.ay);
            EXPECT_TRUE(n == 0 || routines::tql(n, n, h.data(), d.data(), e.data()));
            for (const double level : d) {
                emax = std::max(emax, level);
                if (a.iodevn != -1 && (a.iodevn == 0) != (par == parity::even)) continue;
                const bool dropped = (2 * j + 1) / 78.95683520871486 * std::exp(-tau * level) < 1e-16;
                for (int m = 0; m < 3; ++m) {
                    const long double t = (2 * j + 1) / 78.95683520871486L * std::exp(-(long double)tau * level) *
                                          std::pow((long double)level, m);
                    all[j][m] += t;
                    (dropped ? cut : kept)[j][m] += t;
                }
            }
            if (par == parity::odd && first_passing < 0 && std::exp(-beta * emax) <= 1e-8 &&
                std::exp(-tau * emax) <= 1e-8)
                first_passing = j;
        }
    std::array<long double, 3> held{}, dropped{}, beyond{};
    for (int j = 0; j <= jend; ++j)
        for (int m = 0; m < 3; ++m) beyond[m] += all[j][m];
    std::vector<double> share;
    for (int j = 0; j <= jlast; ++j) {
        double worst = 0;
        for (int m = 0; m < 3; ++m) {
            held[m] += kept[j][m];
            dropped[m] += cut[j][m];
            beyond[m] -= all[j][m];
            worst = std::max(worst, held[m] > 0 ? double((dropped[m] + beyond[m]) / held[m]) : infinity);
        }
        share.push_back(worst);
    }
    return {share, first_passing};
}

TEST(TruncationBound, NeverBelowWhatTheCutLeavesOutAndHardlyAbove)
{
    const double tol = 1e-8;
    auto run = [](double temp, int nslice, int iodevn, double ax, double az, double ay) {
        kelvane::run_args a;
        a.temp = temp;
        a.nslice = nslice;
        a.iodevn = iodevn;
        a.ax = ax;
        a.az = az;
        a.ay = ay;
        return a;
    };
    const kelvane::run_args cases[] = {
        run(10, 8, -1, 27.877, 14.512, 9.285),   // water
        run(10, 16, 1, 27.877, 14.512, 9.285),
        run(2, 4, 0, 27.877, 14.512, 9.285),     // cold
        run(10, 16, -1, 10.25, 5.5, 10.25),      // symmetric top
        run(20, 8, 0, 30, 30, 2),                // one small constant
    };
    for (const kelvane::run_args& a : cases) {
        SCOPED_TRACE(testing::Message() << a.temp << ' ' << a.nslice << ' ' << a.iodevn << ' ' << a.ay);
        const sodrel::truncation_table t = sodrel::truncation_bounds(a, tol);
        const int jlast = static_cast<int>(t.bound.size()) - 1;
        const auto [share, first_passing] = left_out_share(a, jlast);
        EXPECT_EQ(t.first_passing, first_passing);
        for (int j = 0; j <= jlast; ++j) {
            if (share[j] == infinity) {
                EXPECT_EQ(t.bound[j], infinity) << j;
            } else {
                EXPECT_GE(t.bound[j], share[j]) << j;
                // The remainder beyond the exact levels adds at most 1e-3 tol.
                if (j >= first_passing) {
                    EXPECT_LE(t.bound[j], share[j] * 1.0001 + 2e-3 * tol) << j;
                }
            }
        }
        // The first jmax past the test whose share meets tol, or the next
        // when the share lies within the remainder's allowance of tol.
        int smallest = first_passing;
        while (smallest < jlast && share[smallest] > tol) ++smallest;
        const int answer = sodrel::accurate_jmax(a, tol).jmax;
        EXPECT_GE(answer, smallest);
        EXPECT_LE(answer, smallest + (share[smallest] > 0.99 * tol ? 1 : 0));
    }
}

}  // namespace
