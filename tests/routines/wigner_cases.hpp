// What the Wigner tests share: the polar angle of a whole degree as the
// programs form it, the high-precision reference values, the layout of a
// trusted plane, the check of the recursion and the trusted values against
// the references, and the check that a plane up to J = 17 is the series.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "routines/wigd.hpp"
#include "routines/wigner_accurate.hpp"
#include "tests/support/bits.hpp"
#include "tests/support/paths.hpp"

namespace wigner_cases {

using namespace routines;
using test_support::same_bits;

constexpr double pi = 3.141592653589793;

inline double radians(int degrees) { return (degrees * pi) / 180; }

struct reference_value {
    int j, mp, m, deg;
    double d;
};

// High-precision values from tests/data/wigner/make_reference.py.
inline const std::vector<reference_value>& references()
{
    static const std::vector<reference_value> table = [] {
        std::vector<reference_value> rows;
        std::ifstream in(test_support::test_data_path("wigner/reference.txt"));
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream fields(line);
            reference_value r{};
            std::string value;
            fields >> r.j >> r.mp >> r.m >> r.deg >> value;
            r.d = std::strtod(value.c_str(), nullptr);   // far underflows become 0
            rows.push_back(r);
        }
        // Grouped by (j, angle), so that one recursion serves a group.
        std::stable_sort(rows.begin(), rows.end(), [](const reference_value& a, const reference_value& b) {
            return a.j != b.j ? a.j < b.j : a.deg < b.deg;
        });
        return rows;
    }();
    return table;
}

// Where element (j, k1, k2) lies in a plane of wigd_trusted_plane.
inline std::size_t plane_at(int jmax, int j, int k1, int k2)
{
    return static_cast<std::size_t>(j) +
           static_cast<std::size_t>(jmax + 1) *
               (static_cast<std::size_t>(k1 + jmax) + static_cast<std::size_t>(2 * jmax + 1) * (k2 + jmax));
}

// The recursion agrees with the references of jlow <= j <= jhigh, and the
// trusted value of each reference point is checked on the way: the series
// where its bound is below the trust limit (and then within that bound), the
// recursion elsewhere; up to J = 60 it is wigd_trusted's value bit for bit.
inline void expect_references_met(int jlow, int jhigh)
{
    const auto& rows = references();
    std::size_t i = 0;
    while (i < rows.size()) {
        const int j = rows[i].j, deg = rows[i].deg;
        if (j < jlow || j > jhigh) {
            ++i;
            continue;
        }
        const double b = radians(deg);
        const int n = 2 * j + 1;
        std::vector<double> d(n * n), work(wigd_work_size(j));
        wigd_accurate_matrix(j, b, d, work);
        const wigd_angle_tables t(j, b);   // the series from the tables has the direct form's bits
        for (; i < rows.size() && rows[i].j == j && rows[i].deg == deg; ++i) {
            const auto& r = rows[i];
            const double v = d[(r.mp + j) + (r.m + j) * n];
            const double tolerance = 5e-15;
            EXPECT_NEAR(v, r.d, tolerance) << j << ' ' << r.mp << ' ' << r.m << ' ' << deg;

            double bound;
            const double series = wigd_recipe_bound(j, r.mp, r.m, t.view(), bound);
            const double trusted = bound < wigd_trust_limit ? series : v;
            EXPECT_NEAR(trusted, r.d, bound < wigd_trust_limit ? bound + 1e-15 : tolerance)
                << j << ' ' << r.mp << ' ' << r.m << ' ' << deg;
            if (j <= 60) {
                EXPECT_TRUE(same_bits(wigd_trusted(j, r.mp, r.m, b), trusted))
                    << j << ' ' << r.mp << ' ' << r.m << ' ' << deg;
            }
        }
    }
}

// Ordinary runs keep every bit: for j <= 17 the bound of the series stays
// below the trust limit.  Every element of the trusted plane at `deg` is the
// series through its kept factors (the bits of wigd_tabulated and wigd,
// wigd_test), and the literal wigd itself where literal(j, k1, k2) says.
inline void expect_plane_is_series_up_to_j17(int deg, const std::function<bool(int, int, int)>& literal)
{
    constexpr int jmax = 17;
    static const auto factors = [] {   // in the order of the loops below
        std::vector<double> lnf(wigd_lnf_size(jmax));
        fill_wigd_lnf(jmax, lnf);
        std::vector<std::vector<__float128>> f;
        for (int j = 0; j <= jmax; ++j)
            for (int k2 = -j; k2 <= j; ++k2)
                for (int k1 = -j; k1 <= j; ++k1) {
                    f.emplace_back(static_cast<std::size_t>(j) + 1);
                    fill_wigd_factors(j, k1, k2, lnf, f.back().data());
                }
        return f;
    }();
    std::vector<double> plane((jmax + 1) * (2 * jmax + 1) * (2 * jmax + 1)), work(wigd_work_size(jmax));
    const double b = radians(deg);
    const wigd_angle_tables t(jmax, b);
    wigd_trusted_plane(jmax, b, t.view(), plane, work, false);
    std::size_t element = 0;
    for (int j = 0; j <= jmax; ++j)
        for (int k2 = -j; k2 <= j; ++k2)
            for (int k1 = -j; k1 <= j; ++k1) {
                const double v = plane[plane_at(jmax, j, k1, k2)];
                ASSERT_TRUE(same_bits(v, wigd_from_factors(j, k1, k2, factors[element++].data(), t.cos_pow, t.nsin_pow)))
                    << j << ' ' << k1 << ' ' << k2 << ' ' << deg;
                if (literal(j, k1, k2)) {
                    ASSERT_TRUE(same_bits(v, wigd(j, k1, k2, b))) << j << ' ' << k1 << ' ' << k2 << ' ' << deg;
                }
            }
}

}  // namespace wigner_cases
