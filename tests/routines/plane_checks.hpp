// Checks of the Wigner tables of a theta plane shared by the default and the
// slow tests: the tables of an angle, an element of a block, and runs up to
// jmax 17 keeping the series' bits on a plane.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "routines/wigner_plane.hpp"
#include "tests/support/bits.hpp"

namespace routines::plane_checks {

using test_support::same_bits;

inline double radians(int degrees) { return (degrees * 3.141592653589793) / 180; }

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

inline double element(const wigner_plane& w, int j, parity p, int k1, int k2)
{
    const int n = block_order(j, p);
    return w.block(j, p)[k1 * n + k2];
}

// Runs up to jmax 17 keep the series' bits: no element of plane ithe is left
// to the recursion, and every element is the tabulated series.  The plane's
// table is filled as a run fills it, after the planes before.
inline void expect_series_bits_at_jmax17(wigner_plane& w, int ithe)
{
    const int jmax = 17;
    const int jtop[2] = {jmax, jmax};
    fill_wigner_plane(w, radians(ithe), jtop, 1);
    const angle_tables t(jmax, ithe);
    std::vector<double> series(static_cast<std::size_t>(block_table_size(jmax, parity::odd)));
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

// The tables of every plane at jmax 40, one table kept over the planes as in
// a run, against the full sums of the trusted plane.
inline void expect_trusted_values_at_jmax40(const std::vector<int>& planes, int threads)
{
    const int jmax = 40;
    const int jtop[2] = {jmax, jmax};
    std::vector<double> plane(static_cast<std::size_t>(jmax + 1) * (2 * jmax + 1) * (2 * jmax + 1));
    std::vector<double> work(wigd_work_size(jmax));
    wigner_plane w;
    reserve_wigner_plane(w, jmax);
    for (int ithe : planes) {
        const angle_tables t(jmax, ithe);
        wigd_trusted_plane(jmax, radians(ithe), t.view(), plane, work, true);
        fill_wigner_plane(w, radians(ithe), jtop, threads);
        int from_recursion = 0;
        for (int j = 0; j <= jmax; ++j)
            for (const parity p : both_parities) {
                const int n = block_order(j, p);
                const int k0 = block_first_k(j, p);
                from_recursion += w.marked[static_cast<std::size_t>(2 * j + parity_index(p))];
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
        // Near theta = 90 the recursion supplies most values.
        if (ithe == 90) {
            EXPECT_GT(from_recursion, 10000);
        }
    }
}

}  // namespace routines::plane_checks
