// The three-term recursion in J carried in double-double: every 50-digit
// reference value, to J = 876, within two units in the last place or 1e-17,
// rows whose closed form lies below 1e-180 included; exactly the identity at
// zero angle; orthogonal matrices that compose as rotations do; and
// the tables of a plane filled from the columns, the same on any thread
// count.  Orthogonality at J = 400 is in wigner_exhaustive_test, labelled
// slow.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <iostream>
#include <map>
#include <tuple>
#include <vector>

#include "tests/routines/wigner_checks.hpp"

namespace {

using namespace wigner_checks;

double ulp_of(double x)
{
    const double a = std::fabs(x);
    return std::nextafter(a, INFINITY) - a;
}

TEST(ThreeTerm, MeetsEveryHighPrecisionReference)
{
    // One sweep per angle, column and parity of rows, up to the largest J
    // asked of it.
    struct wanted {
        int j, row;
        double sign, d;
        const reference_value* ref;
    };
    std::map<std::tuple<int, int, int>, std::vector<wanted>> sweeps;   // (deg, column, first row)
    int jtop = 0;
    for (const reference_value& r : references()) {
        const column_place p = column_place_of(r.mp, r.m);
        sweeps[{r.deg, p.column, first_row_of(p.column, p.row)}].push_back({r.j, p.row, p.sign, r.d, &r});
        jtop = std::max(jtop, r.j);
    }
    std::vector<double> powers(column_powers_size(jtop)), state(column_state_size(jtop));
    int checked = 0, deep = 0, at_400 = 0;
    double worst_ulps = 0;
    int last_deg = -1;
    column_angle angle{};
    for (auto& [key, rows] : sweeps) {
        const auto [deg, column, first] = key;
        if (deg != last_deg) angle = column_angle_of(radians(deg), jtop, powers);
        last_deg = deg;
        std::sort(rows.begin(), rows.end(), [](const wanted& a, const wanted& b) { return a.j < b.j; });
        column_sweep s = column_sweep_start(column_factors(jtop), angle, column, first, state);
        for (const wanted& w : rows) {
            while (s.j < w.j) column_sweep_next(s);
            const double got = w.sign * column_sweep_element(s, (w.row - first) / 2);
            const double off = std::fabs(got - w.d);
            EXPECT_TRUE(off <= 2 * ulp_of(w.d) || off <= 1e-17)
                << w.ref->j << ' ' << w.ref->mp << ' ' << w.ref->m << ' ' << deg << ": " << got << " against "
                << w.d;
            if (std::fabs(w.d) > 1e-17) worst_ulps = std::max(worst_ulps, off / ulp_of(w.d));
            ++checked;
            at_400 += w.j == 400 ? 1 : 0;
            // Rows whose closed form underflows a double-double: 2^-710 and 2^-986.
            deep += w.j >= 870 && std::fabs(w.d) > 1e-7 ? 1 : 0;
        }
    }
    std::cout << checked << " values, the largest distance " << worst_ulps << " ulp\n";
    EXPECT_GT(checked, 5500);
    EXPECT_GE(at_400, 150);
    EXPECT_GE(deep, 3);
}

TEST(ThreeTerm, IsTheIdentityAtZeroAngle)
{
    for (int j : {0, 1, 2, 17, 60}) {
        const std::vector<double> d = three_term_matrix(j, 0.0);
        for (int m = -j; m <= j; ++m)
            for (int mp = -j; mp <= j; ++mp)
                ASSERT_EQ(d[matrix_at(j, mp, m)], mp == m ? 1.0 : 0.0) << j << ' ' << mp << ' ' << m;
    }
}

TEST(ThreeTerm, GivesOrthogonalMatricesThatComposeAsRotations)
{
    // d(a) d(b) = d(a + b) with a + b exact in double.
    for (int j : {1, 30, 100}) {
        for (int deg : {1, 90, 179}) EXPECT_LT(orthogonality_defect(j, three_term_matrix(j, radians(deg))), 4e-15) << j << ' ' << deg;
        const std::vector<double> a = three_term_matrix(j, 0.5), b = three_term_matrix(j, 2.25),
                                  ab = three_term_matrix(j, 2.75);
        double worst = 0;
        for (int mp = -j; mp <= j; ++mp)
            for (int m = -j; m <= j; ++m) {
                double sum = 0;
                for (int k = -j; k <= j; ++k) sum += a[matrix_at(j, mp, k)] * b[matrix_at(j, k, m)];
                worst = std::max(worst, std::fabs(sum - ab[matrix_at(j, mp, m)]));
            }
        EXPECT_LT(worst, 4e-15) << j;
    }
}

TEST(ThreeTermPlane, HoldsTheColumnsValuesOnAnyThreadCount)
{
    // Different tops for the two parities; the blocks of each J up to its
    // parity's top are those of the matrix from the columns, bit for bit, and
    // nothing beyond is written.
    const int jmax = 45;
    const std::array<int, 2> tops = {41, 38};
    for (int deg : {0, 1, 90, 179, 180}) {
        wigner_plane w1, w3;
        reserve_wigner_plane(w1, jmax, wigner_method::three_term);
        reserve_wigner_plane(w3, jmax, wigner_method::three_term);
        fill_wigner_plane(w1, radians(deg), tops, 1);
        fill_wigner_plane(w3, radians(deg), tops, 3);
        for (const parity p : both_parities)
            EXPECT_TRUE(same_bits(w1.table[parity_index(p)].data(), w3.table[parity_index(p)].data(),
                                  w1.table[parity_index(p)].size()))
                << deg;
        for (int j = 0; j <= jmax; ++j) {
            const std::vector<double> d = three_term_matrix(j, radians(deg));
            for (const parity p : both_parities) {
                const int n = block_order(j, p), k0 = block_first_k(j, p);
                const bool filled = j <= tops[parity_index(p)];
                for (int k1 = k0; k1 < k0 + 2 * n; k1 += 2)
                    for (int k2 = k0; k2 < k0 + 2 * n; k2 += 2)
                        ASSERT_TRUE(same_bits(element_of(w1, j, k1, k2).value, filled ? d[matrix_at(j, k1, k2)] : 0.0))
                            << deg << ' ' << j << ' ' << k1 << ' ' << k2;
            }
        }
    }
}

}  // namespace
