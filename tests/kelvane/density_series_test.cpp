// The Fourier-series evaluation of a theta plane gives, at every point of
// whole planes, block sums within one unit in the last place of a binary128
// evaluation of the same double inputs (or within 1e-17 of the absolute sum
// of their terms where they cancel that deeply), and the printed values of
// that evaluation; the same bits for any split of the work and any vector
// width.  The binary128 yardstick itself agrees with the straightforward
// evaluation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kelvane/density/density_series.hpp"
#include "kelvane/density/euler_grid.hpp"
#include "kelvane/levels/level_stage.hpp"
#include "routines/wigner_plane.hpp"
#include "tests/kelvane/level_sets.hpp"
#include "tests/support/density_reference.hpp"
#include "tests/support/density_yardstick.hpp"
#include "textio/textio.hpp"

namespace kelvane {
namespace {

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Water at temp and nslice with the basis up to jmax: the level set, the
// plans of both blocks, the series tables of the run and the yardstick's
// level sums.
struct water_run {
    int jmax;
    double tau;
    rotlev levels;
    block_plan even, odd;
    series_run series;
    series_plane plane;
    yardstick_levels yardstick;
};

std::unique_ptr<water_run> make_water_run(int jmax, double temp, int nslice)
{
    auto r = std::make_unique<water_run>();
    r->jmax = jmax;
    run_args args;
    args.temp = temp;
    args.nslice = nslice;
    r->tau = time_steps_of(args).tau;
    r->levels = testing::top_levels(jmax, 27.877, 14.512, 9.285);
    reserve_block_plan(r->even, jmax);
    reserve_block_plan(r->odd, jmax);
    make_block_plan(r->even, r->levels, parity::even, r->tau);
    make_block_plan(r->odd, r->levels, parity::odd, r->tau);
    reserve_series(r->series, r->plane, jmax);
    make_series_run(r->series, &r->even, &r->odd);
    r->yardstick = make_yardstick_levels(r->levels, r->tau);
    return r;
}

// The trusted Wigner values of plane ithe in the block tables the series reads.
routines::wigner_plane block_wigner(const water_run& r, int ithe)
{
    routines::wigner_plane w;
    routines::reserve_wigner_plane(w, r.jmax);
    const int jtop[2] = {r.even.jtop, r.odd.jtop};
    routines::fill_wigner_plane(w, grid_angle(ithe), jtop, 1);
    return w;
}

struct plane_values {
    std::vector<double> rho, eng, esq;
    std::vector<series_block_sums> even, odd;
    explicit plane_values(std::size_t n) : rho(n), eng(n), esq(n), even(n), odd(n) {}
};

plane_values series_values(water_run& r, const routines::wigner_plane& w, int iodevn, simd_path path)
{
    plane_values v(region_points);
    evaluate_series_plane(r.series, r.plane, w, iodevn, v.rho.data(), v.eng.data(), v.esq.data(), v.even.data(),
                          v.odd.data(), path);
    return v;
}

std::vector<yardstick_point> yardstick_values(const water_run& r, int ithe)
{
    std::vector<double> wigtab(literal_wigner_size(r.jmax));
    literal_wigner_plane(r.jmax, ithe, wigtab);
    std::vector<yardstick_point> points(region_points);
    yardstick_plane(r.yardstick, wigtab, points, 2);
    return points;
}

std::string printed(double v)
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

void compare_sum(double got, double want, double abs_sum, const char* what, int point, agreement& a)
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

agreement compare_plane(const plane_values& v, const std::vector<yardstick_point>& y, int iodevn)
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
void expect_planes_meet_yardstick(int jmax, double temp, int nslice, std::initializer_list<int> planes)
{
    const auto run = make_water_run(jmax, temp, nslice);
    for (int ithe : planes) {
        const routines::wigner_plane w = block_wigner(*run, ithe);
        const std::vector<yardstick_point> y = yardstick_values(*run, ithe);
        for (int iodevn : {-1, 0, 1}) {
            const plane_values v = series_values(*run, w, iodevn, best_simd_path());
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

TEST(SeriesPlane, MeetsTheYardstickAtJmax12)
{
    expect_planes_meet_yardstick(12, 10, 32, {0, 1, 45, 90, 179, 180});
}

TEST(SeriesPlane, GivesTheSameBitsForAnySplitOfTheWorkAndAnyVectorWidth)
{
    // The whole plane on one thread with the baseline vectors, against every
    // step split into ranges taken by three threads in interleaved order,
    // each worker on another vector path.
    auto one = make_water_run(25, 10, 128);
    const routines::wigner_plane w = block_wigner(*one, 90);
    const plane_values want = series_values(*one, w, -1, simd_path::baseline);

    std::vector<simd_path> paths;
    for (simd_path p : {simd_path::avx512, simd_path::avx2, simd_path::baseline})
        if (simd_path_available(p)) paths.push_back(p);
    const int workers = 3;
    auto spread = [&](int items, auto&& step) {
        std::vector<std::thread> pool;
        for (int k = 0; k < workers; ++k)
            pool.emplace_back([&, k] {
                for (int i = items - 1 - k; i >= 0; i -= workers) step(i, paths[static_cast<std::size_t>(k) % paths.size()]);
            });
        for (auto& t : pool) t.join();
    };
    series_run run;
    series_plane plane;
    reserve_series(run, plane, one->jmax);
    reserve_series_angles(run.angles, std::max(one->even.jtop, one->odd.jtop));
    spread(series_angles, [&](int i, simd_path) { fill_series_angles(run.angles, i, i + 1); });
    begin_series_coefficients(run.even, one->even);
    begin_series_coefficients(run.odd, one->odd);
    spread(one->jmax + 1, [&](int j, simd_path) {
        fill_series_coefficients(run.even, one->even, j, j + 1);
        fill_series_coefficients(run.odd, one->odd, j, j + 1);
    });
    for (series_plane_block* b : {&plane.even, &plane.odd}) {
        const series_coefficients& q = b == &plane.even ? run.even : run.odd;
        begin_series_plane(*b, q);
        spread(b->k.rows, [&](int r, simd_path) { fold_series_rows(*b, q, w.block(0, b->par), r, r + 1); });
        spread(series_column_groups, [&](int g, simd_path p) { fill_series_columns(*b, run.angles, g, g + 1, p); });
    }
    plane_values got(region_points);
    const series_setup setup{-1, &plane.even, &plane.odd, &run.angles};
    const std::vector<series_point_group> groups = list_series_groups();
    spread(static_cast<int>(groups.size()), [&](int g, simd_path p) {
        finish_series_groups(setup, std::span(groups).subspan(static_cast<std::size_t>(g), 1), got.rho.data(),
                             got.eng.data(), got.esq.data(), got.even.data(), got.odd.data(), p);
    });
    auto same_sums = [](const series_block_sums& a, const series_block_sums& b) {
        return same_bits(a.r, b.r) && same_bits(a.u, b.u) && same_bits(a.v, b.v);
    };
    int wrong = 0;
    for (std::size_t p = 0; p < region_points; ++p) {
        if (same_bits(got.rho[p], want.rho[p]) && same_bits(got.eng[p], want.eng[p]) && same_bits(got.esq[p], want.esq[p])
            && same_sums(got.even[p], want.even[p]) && same_sums(got.odd[p], want.odd[p]))
            continue;
        if (++wrong <= 5) ADD_FAILURE() << "point " << p << ": rho " << got.rho[p] << " against " << want.rho[p];
    }
    EXPECT_EQ(wrong, 0);
}

TEST(Yardstick, AgreesWithTheStraightforwardEvaluation)
{
    // A few points of two planes, block by block (iodevn 0 and 1 give a
    // block's R as rhopro and U/R, V/R as the estimators), within a double
    // evaluation's error: 1e-13 of the absolute sums.
    const auto run = make_water_run(12, 10, 32);
    for (int ithe : {45, 90}) {
        std::vector<double> wigtab(literal_wigner_size(run->jmax));
        literal_wigner_plane(run->jmax, ithe, wigtab);
        const std::vector<yardstick_point> y = yardstick_values(*run, ithe);
        std::vector<region_point> region(region_points);
        list_region(region);
        for (int p = 5; p < region_points; p += 2357) {
            const region_point at = region[static_cast<std::size_t>(p)];
            for (int iodevn : {0, 1}) {
                const yardstick_block& b = iodevn == 0 ? y[static_cast<std::size_t>(p)].even : y[static_cast<std::size_t>(p)].odd;
                const point_values lit = literal_point(run->levels, run->tau, iodevn, wigtab, at.iphi, at.ichi);
                EXPECT_NEAR(lit.rho, b.r, 1e-13 * b.r_abs) << ithe << ' ' << p << ' ' << iodevn;
                const double r = std::fabs(b.r);
                EXPECT_NEAR(lit.eng, b.u / b.r, 1e-13 * (b.u_abs + std::fabs(b.u / b.r) * b.r_abs) / r);
                EXPECT_NEAR(lit.esq, b.v / b.r, 1e-13 * (b.v_abs + std::fabs(b.v / b.r) * b.r_abs) / r);
            }
        }
    }
}

TEST(SeriesPlaneLarge, MeetsTheYardstickAtJmax25And40)
{
    expect_planes_meet_yardstick(25, 10, 128, {0, 1, 45, 90, 179, 180});
    expect_planes_meet_yardstick(40, 20, 160, {0, 1, 45, 90, 179, 180});
}

}  // namespace
}  // namespace kelvane
