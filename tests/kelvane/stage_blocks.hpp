// The Wigner blocks of one theta plane as the density stage fills them, and
// the check that up to jmax 17 they are the series' values on a plane.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "kelvane/density.hpp"
#include "routines/wigd.hpp"
#include "routines/wigner_accurate.hpp"
#include "tests/support/bits.hpp"

namespace kelvane::stage_blocks {

// The block tables of one plane as the stage fills them: from the kept
// factors or the tables of the angle, the recursion afterwards.
inline plane_wigner stage_wigner(int jmax, int ithe, bool kept_factors)
{
    std::vector<double> lnf(routines::wigd_lnf_size(jmax));
    std::vector<__float128> cp(routines::wigd_pow_size(jmax)), np(routines::wigd_pow_size(jmax));
    routines::fill_wigd_lnf(jmax, lnf);
    routines::fill_wigd_powers(jmax, grid_angle(ithe), cp, np);
    const routines::wigd_tables t{lnf, cp, np};
    plane_wigner w;
    reserve_plane_wigner(w, jmax);
    if (!kept_factors) {
        fill_trusted_wigner_plane(w, t, grid_angle(ithe), jmax, jmax);
        return w;
    }
    const routines::wigd_screen screen = routines::wigd_screen_of(grid_angle(ithe));
    std::fill(w.marked.begin(), w.marked.end(), 0);
    // Blocks in the workers' order, largest first.
    for (int j = jmax; j >= 0; --j)
        for (bool odd : {false, true}) {
            std::vector<__float128> factors(static_cast<std::size_t>(block_factor_count(j, odd)));
            fill_block_factors(lnf, j, odd, factors.data());
            fill_trusted_wigner_block(w, t, screen, j, odd, factors.data());
        }
    fill_marked_from_recursion(w, grid_angle(ithe));
    return w;
}

inline double block_element(const plane_wigner& w, int j, bool odd, int k1, int k2)
{
    const int n = odd ? odd_order(j) : even_order(j);
    return (odd ? w.odd : w.even)[static_cast<std::size_t>(block_offset(j, odd) + k1 * n + k2)];
}

// Runs up to jmax 17 keep the series' bits: no block of plane ithe is left
// to the recursion, and every element is the tabulated series.
inline void expect_series_bits_at_jmax17(int ithe)
{
    const int jmax = 17;
    const routines::wigd_angle_tables t(jmax, grid_angle(ithe));
    std::vector<double> series(static_cast<std::size_t>(block_table_size(jmax, true)));
    const plane_wigner w = stage_wigner(jmax, ithe, true);
    for (bool odd : {false, true})
        for (int j = 0; j <= jmax; ++j) {
            fill_wigner_block(t.view(), j, odd, series.data());
            const int n = odd ? odd_order(j) : even_order(j);
            EXPECT_EQ(w.marked[static_cast<std::size_t>(2 * j + (odd ? 1 : 0))], 0);
            for (int k = 0; k < n * n; ++k) {
                ASSERT_TRUE(test_support::same_bits(block_element(w, j, odd, k / n, k % n), series[static_cast<std::size_t>(k)]))
                    << ithe << ' ' << j << ' ' << odd << ' ' << k;
            }
        }
}

}  // namespace kelvane::stage_blocks
