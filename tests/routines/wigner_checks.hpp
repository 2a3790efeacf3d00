// What the Wigner tests of this folder share, the default ones and the
// exhaustive ones labelled slow: the 50-digit reference values, and the
// checks that the default tests make on a sample and the slow ones in full.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <tuple>
#include <sstream>
#include <string>
#include <vector>

#include "routines/wigner/plane_tables.hpp"
#include "routines/wigner/recursion.hpp"
#include "routines/wigner/three_term.hpp"
#include "tests/support/bits.hpp"
#include "tests/support/paths.hpp"
#include "tests/support/wigner_reference.hpp"

namespace wigner_checks {

using namespace routines;
using namespace routines::wigner;
using namespace wigner_reference;
using test_support::same_bits;

struct reference_value {
    int j, mp, m, deg;
    double d;
};

// High-precision values from tests/data/wigner/make_reference.py, grouped
// by angle and in ascending J within an angle, so that one sweep of the
// recursion or one plane serves an angle.
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
        std::stable_sort(rows.begin(), rows.end(), [](const reference_value& a, const reference_value& b) {
            return a.deg != b.deg ? a.deg < b.deg : a.j < b.j;
        });
        return rows;
    }();
    return table;
}

// The references of jlow <= J <= jhigh, by angle.
inline std::map<int, std::vector<reference_value>> references_by_angle(int jlow, int jhigh)
{
    std::map<int, std::vector<reference_value>> by_angle;
    for (const reference_value& r : references())
        if (r.j >= jlow && r.j <= jhigh) by_angle[r.deg].push_back(r);
    return by_angle;
}

// The recursion meets the references of jlow <= J <= jhigh to 5e-15, one
// sweep per angle reading each J as it passes.
inline void expect_recursion_meets_references(int jlow, int jhigh)
{
    for (const auto& [deg, rows] : references_by_angle(jlow, jhigh)) {
        const int jlast = rows.back().j;
        std::vector<double> work(sweep_work_size(jlast));
        sweep sw = sweep_start(jlast, radians(deg), work);
        for (const reference_value& r : rows) {
            while (sw.j < r.j) sweep_next(sw);
            EXPECT_NEAR(sweep_element(sw, r.mp, r.m), r.d, 5e-15) << r.j << ' ' << r.mp << ' ' << r.m << ' ' << deg;
        }
    }
}

// Element (J, K1, K2) of a plane's tables, K1 - K2 even, and whether the
// half-step recursion supplied it (never, for the three-term values).
struct plane_element {
    double value;
    bool from_recursion;
};
inline plane_element element_of(const wigner_plane& w, int j, int k1, int k2)
{
    const parity p = std::abs(k1) % 2 == 0 ? parity::even : parity::odd;
    const int n = block_order(j, p);
    const int k0 = block_first_k(j, p);
    const auto at = static_cast<std::size_t>(block_offset(j, p) + ((k1 - k0) / 2) * n + (k2 - k0) / 2);
    const std::vector<std::uint8_t>& marks = w.from_recursion[parity_index(p)];
    return {w.table[parity_index(p)][at], !marks.empty() && marks[at] != 0};
}

// The tables of a plane reserved for jmax meet the references of every
// J <= jmax with K1 - K2 even at their angles (at those of `angles` alone
// when it is not empty): the series where its bound is below the plane's
// limit, and then within that bound; the recursion elsewhere, within 5e-15.
inline void expect_plane_meets_references(int jmax, const std::vector<int>& angles = {})
{
    wigner_plane w;
    reserve_wigner_plane(w, jmax);
    int checked = 0;
    for (const auto& [deg, all] : references_by_angle(0, jmax)) {
        if (!angles.empty() && std::find(angles.begin(), angles.end(), deg) == angles.end()) continue;
        std::vector<reference_value> rows;
        for (const reference_value& r : all)
            if ((r.mp - r.m) % 2 == 0) rows.push_back(r);
        if (rows.empty()) continue;
        const int jtop = rows.back().j;
        const std::array<int, 2> tops = {jtop, jtop};
        fill_wigner_plane(w, radians(deg), tops, 2);
        const wigd_angle_tables t(jtop, radians(deg));
        for (const reference_value& r : rows) {
            const plane_element e = element_of(w, r.j, r.mp, r.m);
            double bound;
            wigd_recipe_bound(r.j, r.mp, r.m, t.view(), bound);
            const std::string where = std::to_string(r.j) + ' ' + std::to_string(r.mp) + ' ' + std::to_string(r.m) +
                                      ' ' + std::to_string(deg) + " jmax " + std::to_string(jmax);
            EXPECT_EQ(e.from_recursion, !(bound < w.limit)) << where;
            EXPECT_NEAR(e.value, r.d, e.from_recursion ? 5e-15 : bound + 1e-15) << where;
            ++checked;
        }
    }
    EXPECT_GT(checked, (angles.empty() ? 20 : 5) * jmax) << "jmax " << jmax;
}

// Runs up to jmax 17 keep the series' bits: no element of plane ithe is left
// to the recursion, every element is the tabulated series, and the literal
// wigd where literal(J, K1, K2) says.  The plane's tables are filled as a
// run fills them, after the planes before.
inline void expect_series_bits_at_jmax17(wigner_plane& w, int ithe, const std::function<bool(int, int, int)>& literal)
{
    const int jmax = 17;
    const std::array<int, 2> jtop = {jmax, jmax};
    fill_wigner_plane(w, radians(ithe), jtop, 1);
    const wigd_angle_tables t(jmax, radians(ithe));
    for (const parity p : both_parities)
        for (int j = 0; j <= jmax; ++j) {
            EXPECT_EQ(w.marked[static_cast<std::size_t>(2 * j + parity_index(p))], 0);
            const int n = block_order(j, p);
            const int k0 = block_first_k(j, p);
            for (int k1 = k0; k1 < k0 + 2 * n; k1 += 2)
                for (int k2 = k0; k2 < k0 + 2 * n; k2 += 2) {
                    const double v = element_of(w, j, k1, k2).value;
                    ASSERT_TRUE(same_bits(v, wigd_tabulated(j, k1, k2, t.view())))
                        << ithe << ' ' << j << ' ' << k1 << ' ' << k2;
                    if (literal(j, k1, k2)) {
                        ASSERT_TRUE(same_bits(v, wigd(j, k1, k2, radians(ithe))))
                            << ithe << ' ' << j << ' ' << k1 << ' ' << k2;
                    }
                }
        }
}

// The tables of every plane at jmax 40, one table kept over the planes as in
// a run (later planes use the factors made for earlier ones), against the
// straightforward trusted values bit for bit.
inline void expect_trusted_values_at_jmax40(const std::vector<int>& planes, int threads)
{
    const int jmax = 40;
    const std::array<int, 2> jtop = {jmax, jmax};
    std::vector<double> plane(plane_size(jmax));
    std::vector<double> work(sweep_work_size(jmax));
    static const plane_factors factors(jmax, true);
    wigner_plane w;
    reserve_wigner_plane(w, jmax);
    for (int ithe : planes) {
        const wigd_angle_tables t(jmax, radians(ithe));
        wigd_trusted_plane(jmax, radians(ithe), t.view(), plane, work, true, &factors);
        fill_wigner_plane(w, radians(ithe), jtop, threads);
        int from_recursion = 0;
        for (int j = 0; j <= jmax; ++j)
            for (const parity p : both_parities) {
                const int n = block_order(j, p);
                const int k0 = block_first_k(j, p);
                from_recursion += w.marked[static_cast<std::size_t>(2 * j + parity_index(p))];
                for (int k1 = k0; k1 < k0 + 2 * n; k1 += 2)
                    for (int k2 = k0; k2 < k0 + 2 * n; k2 += 2)
                        ASSERT_TRUE(same_bits(element_of(w, j, k1, k2).value, plane[plane_at(jmax, j, k1, k2)]))
                            << ithe << ' ' << j << ' ' << k1 << ' ' << k2;
            }
        // Near theta = 90 the recursion supplies most values.
        if (ithe == 90) {
            EXPECT_GT(from_recursion, 10000);
        }
    }
}

// ---- The three-term values ---------------------------------------------------------

// Where d^J_{m'm} lies among the columns: column c = max(|m'|, |m|), row r
// (c >= |r|), and the sign of the image, (-1)^(m - m') where the pair is
// mirrored across the diagonal.
struct column_place {
    int column, row;
    double sign;
};
inline column_place column_place_of(int mp, int m)
{
    const double mirrored = (m - mp) % 2 == 0 ? 1.0 : -1.0;
    if (m >= std::abs(mp)) return {m, mp, 1.0};
    if (mp >= std::abs(m)) return {mp, m, mirrored};
    if (-m >= std::abs(mp)) return {-m, -mp, mirrored};
    return {-mp, -m, 1.0};
}
inline int first_row_of(int column, int row) { return (row - column) % 2 == 0 ? -column : -column + 1; }

// The angle-independent factors up to jmax, made once per jmax.
inline const std::vector<double>& column_factors(int jmax)
{
    static std::map<int, std::vector<double>> made;
    auto [at, fresh] = made.try_emplace(jmax);
    if (fresh) {
        at->second.resize(column_factors_size(jmax));
        fill_column_factors(jmax, at->second);
    }
    return at->second;
}

// The whole d^J(beta), both parities of rows, from the columns and their
// images, at matrix_at(j, m', m).
inline std::vector<double> three_term_matrix(int j, double beta)
{
    std::vector<double> powers(column_powers_size(j)), state(column_state_size(j)), d((2 * j + 1) * (2 * j + 1));
    const column_angle angle = column_angle_of(beta, j, powers);
    for (int c = 0; c <= j; ++c)
        for (const int first : {-c, -c + 1}) {
            if (c == 0 && first == 1) continue;
            column_sweep s = column_sweep_start(column_factors(j), angle, c, first, state);
            while (s.j < j) column_sweep_next(s);
            for (int i = 0; i < s.rows; ++i) {
                const int r = first + 2 * i;
                const double v = column_sweep_element(s, i);
                const double mirrored = (c - r) % 2 == 0 ? 1.0 : -1.0;
                d[matrix_at(j, r, c)] = v;
                d[matrix_at(j, c, r)] = mirrored * v;
                d[matrix_at(j, -c, -r)] = v;
                d[matrix_at(j, -r, -c)] = mirrored * v;
            }
        }
    return d;
}

// The largest departure from orthogonality of the rows of d (2j + 1 square).
inline double orthogonality_defect(int j, const std::vector<double>& d)
{
    const int n = 2 * j + 1;
    double worst = 0;
    for (int a = 0; a < n; ++a)
        for (int b = a; b < n; ++b) {
            double dot = 0;
            for (int k = 0; k < n; ++k) dot += d[static_cast<std::size_t>(a + k * n)] * d[static_cast<std::size_t>(b + k * n)];
            worst = std::max(worst, std::fabs(dot - (a == b ? 1.0 : 0.0)));
        }
    return worst;
}

}  // namespace wigner_checks
