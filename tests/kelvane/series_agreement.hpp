// Whole Fourier-series planes of water against the binary128 yardstick:
// the run (levels, plans, series tables, yardstick sums), a plane both ways,
// and how they agree.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <iostream>
#include <memory>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "kelvane/density/euler_grid.hpp"
#include "tests/support/bits.hpp"
#include "tests/support/density_planes.hpp"
#include "tests/support/density_reference.hpp"
#include "tests/support/density_yardstick.hpp"
#include "tests/support/level_sets.hpp"
#include "textio/textio.hpp"

namespace kelvane::series_agreement {

using test_support::same_bits;

// Water at temp and nslice with the basis up to jmax: the level set and the
// yardstick's level sums.
struct water_run {
    int jmax;
    double temp;
    int nslice;
    double tau;
    rotlev levels;
    yardstick_levels yardstick;
};

inline std::unique_ptr<water_run> make_water_run(int jmax, double temp, int nslice)
{
    auto r = std::make_unique<water_run>();
    r->jmax = jmax;
    r->temp = temp;
    r->nslice = nslice;
    r->tau = test_planes::run_tau(test_planes::water(jmax, temp, nslice));
    r->levels = level_sets::top_levels(jmax, 27.877, 14.512, 9.285);
    r->yardstick = make_yardstick_levels(r->levels, r->tau);
    return r;
}

// Plane ithe of the run by the Fourier series, with its block sums, on
// `threads` threads with the given vector path.
inline region_values series_values(const water_run& r, int ithe, int iodevn, simd_path path, int threads = 1)
{
    run_args args = test_planes::water(r.jmax, r.temp, r.nslice, iodevn, ithe);
    args.evaluation = plane_evaluation::fourier_series;
    const auto e = test_planes::planned(args, r.levels, r.tau, threads, path);
    routines::wigner_plane w;
    test_planes::fill_tables(w, *e, ithe, threads);
    return test_planes::evaluate(*e, w, true);
}

// Plane ithe of the run by the yardstick, from the given Wigner table, or
// from the three-term values that the Fourier series reads.
inline std::vector<yardstick_point> yardstick_values(const water_run& r, std::span<const double> wigtab)
{
    std::vector<yardstick_point> points(region_points);
    yardstick_plane(r.yardstick, wigtab, points, 2);
    return points;
}
inline std::vector<yardstick_point> yardstick_values(const water_run& r, int ithe)
{
    std::vector<double> wigtab(literal_wigner_size(r.jmax));
    test_planes::wigner_table(routines::wigner_method::three_term, r.jmax, ithe, wigtab);
    return yardstick_values(r, wigtab);
}

inline std::string printed(double v)
{
    std::string s;
    textio::put_e(s, v, 15, 8);
    return s;
}

// How a plane's values meet the yardstick's.
struct agreement {
    int sums_out = 0;       // block sums beyond one ulp and beyond 1e-17 of their absolute sum
    int sums = 0;
    double max_ulps = 0;    // largest distance of a block sum in units of the yardstick's last place
    int misprinted = 0;     // printed values that differ
    int values = 0;
    std::string notes;
};

inline void compare_sum(double got, double want, double abs_sum, const char* what, int point, agreement& a)
{
    ++a.sums;
    const double ulp = std::nextafter(std::fabs(want), INFINITY) - std::fabs(want);
    const double off = std::fabs(got - want);
    a.max_ulps = std::max(a.max_ulps, off / ulp);
    if (off <= ulp || off <= 1e-17 * abs_sum) return;
    if (++a.sums_out <= 5) {
        std::ostringstream s;
        s.precision(17);
        s << "  point " << point << ' ' << what << ": " << got << " against " << want << " (absolute sum " << abs_sum
          << ")\n";
        a.notes += s.str();
    }
}

inline agreement compare_plane(const region_values& v, const std::vector<yardstick_point>& y, int iodevn)
{
    agreement a;
    for (int p = 0; p < region_points; ++p) {
        const auto at = static_cast<std::size_t>(p);
        if (iodevn != 1) {
            const yardstick_block& b = y[at].even;
            compare_sum(v.even[at].r, b.r, b.r_abs, "R even", p, a);
            compare_sum(v.even[at].u, b.u, b.u_abs, "U even", p, a);
            compare_sum(v.even[at].v, b.v, b.v_abs, "V even", p, a);
        }
        if (iodevn != 0) {
            const yardstick_block& b = y[at].odd;
            compare_sum(v.odd[at].r, b.r, b.r_abs, "R odd", p, a);
            compare_sum(v.odd[at].u, b.u, b.u_abs, "U odd", p, a);
            compare_sum(v.odd[at].v, b.v, b.v_abs, "V odd", p, a);
        }
        const point_values want = yardstick_values(iodevn, y[at]);
        const double got[3] = {v.rho[at], v.eng[at], v.esq[at]};
        const double ref[3] = {want.rho, want.eng, want.esq};
        for (int k = 0; k < 3; ++k) {
            ++a.values;
            if (printed(got[k]) != printed(ref[k])) ++a.misprinted;
        }
    }
    return a;
}

// Whole planes of one run against the yardstick, every block selection.
inline void expect_planes_meet_yardstick(int jmax, double temp, int nslice, std::initializer_list<int> planes)
{
    const auto run = make_water_run(jmax, temp, nslice);
    for (int ithe : planes) {
        const std::vector<yardstick_point> y = yardstick_values(*run, ithe);
        for (int iodevn : {-1, 0, 1}) {
            const region_values v = series_values(*run, ithe, iodevn, best_simd_path());
            const agreement a = compare_plane(v, y, iodevn);
            std::cout << "jmax " << jmax << " plane " << ithe << " iodevn " << iodevn << ": largest distance "
                      << a.max_ulps << " ulp, " << a.misprinted << " of " << a.values << " printed values differ\n";
            EXPECT_EQ(a.sums_out, 0) << "jmax " << jmax << " plane " << ithe << " iodevn " << iodevn << ": "
                                     << a.sums_out << " of " << a.sums << " block sums off\n" << a.notes;
            EXPECT_LE(a.misprinted * 1000, a.values)
                << "jmax " << jmax << " plane " << ithe << " iodevn " << iodevn << ": " << a.misprinted << " of "
                << a.values << " printed values differ";
        }
    }
}

}  // namespace kelvane::series_agreement
