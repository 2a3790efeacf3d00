// The Wigner tables of a theta plane hold the trusted values of every block,
// whatever the thread count; runs up to jmax 17 keep the series' bits; the
// kept factors give the tabulated series' bits.  On a sample of planes here,
// on every plane in the slow tests.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "tests/routines/plane_checks.hpp"

namespace {

using namespace routines;
using namespace routines::plane_checks;

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
    // Planes where the series' terms fall steeply (0, 1), rise steeply (179,
    // 180) and cancel (90); one table kept over the planes, so later planes
    // use the factors made for earlier ones.
    expect_trusted_values_at_jmax40({90, 0, 1, 179, 180}, 1);
    expect_trusted_values_at_jmax40({1}, 2);
}

TEST(WignerPlane, RunsUpToJmax17KeepTheSeriesBits)
{
    wigner_plane w;
    reserve_wigner_plane(w, 17);
    for (int ithe = 0; ithe <= 180; ++ithe)
        if (ithe % 5 == 0 || std::abs(ithe - 90) == 1 || ithe == 1 || ithe == 179) expect_series_bits_at_jmax17(w, ithe);
}

}  // namespace
