// The Wigner tables of a theta plane hold the trusted values of every block,
// whatever the thread count and whether the series factors are kept; runs up
// to jmax 17 keep the series' bits; the kept factors give the tabulated
// series' bits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "routines/wigner_plane.hpp"

namespace {

using namespace routines;

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

double radians(int degrees) { return (degrees * 3.141592653589793) / 180; }

struct angle_tables {
    std::vector<double> lnf;
    std::vector<__float128> cp, np;
    angle_tables(int jmax, int ithe) : lnf(wigd_lnf_size(jmax)), cp(wigd_pow_size(jmax)), np(wigd_pow_size(jmax))
    {
        fill_wigd_lnf(jmax, lnf);
        fill_wigd_powers(jmax, radians(ithe), cp, np);
    }
    wigd_tables view() const { return {lnf, cp, np}; }
};

double element(const wigner_plane& w, int j, parity p, int k1, int k2)
{
    const int n = block_order(j, p);
    return w.block(j, p)[k1 * n + k2];
}

TEST(WignerPlane, KeptFactorsGiveTheBitsOfTheTabulatedSeries)
{
    const int jmax = 20;
    for (const parity p : both_parities)
        for (int j = 0; j <= jmax; j += 4) {
            const angle_tables zero(jmax, 0);
            std::vector<__float128> factors(static_cast<std::size_t>(block_factor_count(j, p)));
            fill_block_factors(zero.lnf, j, p, factors.data());
            const auto n = static_cast<std::size_t>(block_order(j, p));
            std::vector<double> a(n * n), b(n * n), sa(n * n), sb(n * n);
            for (int ithe : {0, 1, 90, 180}) {
                const angle_tables t(jmax, ithe);
                fill_wigner_block(t.view(), j, p, a.data(), sa.data());
                fill_wigner_block_from_factors(t.view(), j, p, factors.data(), b.data(), sb.data());
                for (std::size_t i = 0; i < a.size(); ++i) {
                    ASSERT_TRUE(same_bits(a[i], b[i])) << j << ' ' << ithe << ' ' << i;
                    ASSERT_TRUE(same_bits(sa[i], sb[i]));
                    ASSERT_GE(sa[i] * (1 + 0x1p-52), std::fabs(a[i]));
                }
            }
        }
}

TEST(WignerPlane, HoldsTheTrustedValuesOnAnyThreadCount)
{
    // jmax 40: the recursion supplies most values near theta = 90 and few
    // near the poles.  One table is kept over the planes, as in a run, so
    // later planes use the factors made for earlier ones.
    const int jmax = 40;
    const int jtop[2] = {jmax, jmax};
    std::vector<double> plane(static_cast<std::size_t>(jmax + 1) * (2 * jmax + 1) * (2 * jmax + 1));
    std::vector<double> work(wigd_work_size(jmax));
    wigner_plane one, two;
    reserve_wigner_plane(one, jmax);
    reserve_wigner_plane(two, jmax);
    ASSERT_FALSE(one.factor_start.empty());
    for (int ithe : {90, 0, 1, 5, 45, 179, 180}) {
        const angle_tables t(jmax, ithe);
        wigd_trusted_plane(jmax, radians(ithe), t.view(), plane, work, true);
        fill_wigner_plane(one, radians(ithe), jtop, 1);
        fill_wigner_plane(two, radians(ithe), jtop, 2);
        int from_recursion = 0;
        for (int j = 0; j <= jmax; ++j)
            for (const parity p : both_parities) {
                const int n = block_order(j, p);
                const int k0 = block_first_k(j, p);
                from_recursion += one.marked[static_cast<std::size_t>(2 * j + parity_index(p))];
                for (int k1 = 0; k1 < n; ++k1)
                    for (int k2 = 0; k2 < n; ++k2) {
                        const std::size_t at = static_cast<std::size_t>(j) +
                                               static_cast<std::size_t>(jmax + 1) *
                                                   (static_cast<std::size_t>(k0 + 2 * k1 + jmax) +
                                                    static_cast<std::size_t>(2 * jmax + 1) *
                                                        static_cast<std::size_t>(k0 + 2 * k2 + jmax));
                        ASSERT_TRUE(same_bits(element(one, j, p, k1, k2), plane[at]))
                            << ithe << ' ' << j << ' ' << k1 << ' ' << k2;
                        ASSERT_TRUE(same_bits(element(two, j, p, k1, k2), plane[at]))
                            << ithe << ' ' << j << ' ' << k1 << ' ' << k2;
                    }
            }
        if (ithe == 90) {
            EXPECT_GT(from_recursion, 10000);
        }
    }
}

TEST(WignerPlane, RunsUpToJmax17KeepTheSeriesBitsAtEveryPlane)
{
    const int jmax = 17;
    const int jtop[2] = {jmax, jmax};
    wigner_plane w;
    reserve_wigner_plane(w, jmax);
    std::vector<double> series(static_cast<std::size_t>(block_table_size(jmax, parity::odd)));
    for (int ithe = 0; ithe <= 180; ++ithe) {
        const angle_tables t(jmax, ithe);
        fill_wigner_plane(w, radians(ithe), jtop, 1);
        for (const parity p : both_parities)
            for (int j = 0; j <= jmax; ++j) {
                fill_wigner_block(t.view(), j, p, series.data());
                const int n = block_order(j, p);
                EXPECT_EQ(w.marked[static_cast<std::size_t>(2 * j + parity_index(p))], 0);
                for (int k = 0; k < n * n; ++k)
                    ASSERT_TRUE(same_bits(element(w, j, p, k / n, k % n), series[static_cast<std::size_t>(k)]))
                        << ithe << ' ' << j << ' ' << k;
            }
    }
}

}  // namespace

// Every plane at jmax 40: the terms the fill leaves out, and the few sums it
// finds too close to a rounding boundary to leave anything out of, against
// the full sums of the trusted plane.  Labelled slow.
TEST(WignerPlaneSlow, HoldsTheTrustedValuesAtEveryPlane)
{
    const int jmax = 40;
    const int jtop[2] = {jmax, jmax};
    std::vector<double> plane(static_cast<std::size_t>(jmax + 1) * (2 * jmax + 1) * (2 * jmax + 1));
    std::vector<double> work(wigd_work_size(jmax));
    wigner_plane w;
    reserve_wigner_plane(w, jmax);
    for (int ithe = 0; ithe <= 180; ++ithe) {
        const angle_tables t(jmax, ithe);
        wigd_trusted_plane(jmax, radians(ithe), t.view(), plane, work, true);
        fill_wigner_plane(w, radians(ithe), jtop, 2);
        for (int j = 0; j <= jmax; ++j)
            for (const parity p : both_parities) {
                const int n = block_order(j, p);
                const int k0 = block_first_k(j, p);
                for (int k1 = 0; k1 < n; ++k1)
                    for (int k2 = 0; k2 < n; ++k2) {
                        const std::size_t at = static_cast<std::size_t>(j) +
                                               static_cast<std::size_t>(jmax + 1) *
                                                   (static_cast<std::size_t>(k0 + 2 * k1 + jmax) +
                                                    static_cast<std::size_t>(2 * jmax + 1) *
                                                        static_cast<std::size_t>(k0 + 2 * k2 + jmax));
                        ASSERT_TRUE(same_bits(element(w, j, p, k1, k2), plane[at]))
                            << ithe << ' ' << j << ' ' << k1 << ' ' << k2;
                    }
            }
    }
}
