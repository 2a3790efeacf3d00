// One theta plane of kelvane for water (iodevn -1) by the Fourier series of
// the plane, step by step on one thread: the tables of the run (cosines and
// sines of K x, level coefficients Q), the Wigner values of the plane (the
// stage's own fill, whose threads follow KELVANE_THREADS, and the one-thread
// fill the series reads here), the folded coefficients F, the column sums C
// and S, and the points; beside them the present evaluation of the plane on
// one thread.  Prints the medians of RUNS runs on standard error.
//
//   series_bench JMAX [RUNS] [ITHE] [TEMP] [NSLICE] [accuracy]
//
// With "accuracy", also the plane against the binary128 yardstick, for the
// series and for the present evaluation: the largest distance of a block
// sum in units of the last place, and how many printed values differ.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kelvane/density/density_kernel.hpp"
#include "kelvane/density/density_series.hpp"
#include "kelvane/density/euler_grid.hpp"
#include "kelvane/density/plane_stage.hpp"
#include "kelvane/levels/level_loop.hpp"
#include "kelvane/levels/level_stage.hpp"
#include "routines/wigner_plane.hpp"
#include "tests/support/density_reference.hpp"
#include "tests/support/density_yardstick.hpp"
#include "process/process.hpp"
#include "textio/textio.hpp"

using namespace kelvane;

namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point t)
{
    return std::chrono::duration<double>(clock_type::now() - t).count();
}

template <class Step>
double median_time(int runs, Step&& step)
{
    std::vector<double> t;
    for (int r = 0; r < runs; ++r) {
        const auto start = clock_type::now();
        step();
        t.push_back(seconds_since(start));
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

std::string printed(double v)
{
    std::string s;
    textio::put_e(s, v, 15, 8);
    return s;
}

// The largest distance in ulps of the yardstick's sums, and the printed
// values that differ, for block sums and values in region order.
void report_accuracy(const char* who, const std::vector<yardstick_point>& y, const std::vector<double>& rho,
                     const std::vector<double>& eng, const std::vector<double>& esq,
                     const std::vector<series_block_sums>* even, const std::vector<series_block_sums>* odd)
{
    double max_ulps = 0;
    int misprinted[3] = {0, 0, 0};
    auto ulps = [](double got, double want) {
        const double ulp = std::nextafter(std::fabs(want), INFINITY) - std::fabs(want);
        return std::fabs(got - want) / ulp;
    };
    for (std::size_t p = 0; p < region_points; ++p) {
        if (even && odd) {
            const yardstick_block& e = y[p].even;
            const yardstick_block& o = y[p].odd;
            for (double u : {ulps((*even)[p].r, e.r), ulps((*even)[p].u, e.u), ulps((*even)[p].v, e.v),
                             ulps((*odd)[p].r, o.r), ulps((*odd)[p].u, o.u), ulps((*odd)[p].v, o.v)})
                max_ulps = std::max(max_ulps, u);
        }
        const point_values want = yardstick_values(-1, y[p]);
        misprinted[0] += printed(rho[p]) != printed(want.rho);
        misprinted[1] += printed(eng[p]) != printed(want.eng);
        misprinted[2] += printed(esq[p]) != printed(want.esq);
    }
    std::fprintf(stderr, "  %-8s printed values unlike the yardstick's: rho %d, eng %d, esq %d of %d each", who,
                 misprinted[0], misprinted[1], misprinted[2], region_points);
    if (even) std::fprintf(stderr, "; block sums at most %.3g ulp away", max_ulps);
    std::fprintf(stderr, "\n");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: series_bench JMAX [RUNS] [ITHE] [TEMP] [NSLICE] [accuracy]\n");
        return 2;
    }
    run_args args;
    args.jmax = std::atoi(argv[1]);
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const int ithe = argc > 3 ? std::atoi(argv[3]) : 90;
    args.temp = argc > 4 ? std::atof(argv[4]) : 10;
    args.nslice = argc > 5 ? std::atoi(argv[5]) : 128;
    const bool accuracy = argc > 6 && std::string(argv[6]) == "accuracy";
    args.iodevn = -1;
    args.ithe1 = args.ithe2 = ithe;
    args.ax = 27.877;
    args.az = 14.512;
    args.ay = 9.285;
    args.ndim = 2 * args.jmax + 1;
    const int jmax = args.jmax;
    const double tau = time_steps_of(args).tau;

    level_storage storage = reserve_levels(0, jmax, true, 1);
    compute_levels(storage, args, process::line_sink::discarded());
    const rotlev& lev = storage.levels;

    block_plan even, odd;
    reserve_block_plan(even, jmax);
    reserve_block_plan(odd, jmax);
    make_block_plan(even, lev, parity::even, tau);
    make_block_plan(odd, lev, parity::odd, tau);
    const int kmax = std::max(even.jtop, odd.jtop);

    series_run run;
    series_plane plane;
    reserve_series(run, plane, jmax);
    run.has_even = run.has_odd = true;
    const double t_angles = median_time(runs, [&] {
        reserve_series_angles(run.angles, kmax);
        fill_series_angles(run.angles, 0, series_angles);
    });
    const double t_coefficients = median_time(runs, [&] {
        begin_series_coefficients(run.even, even);
        fill_series_coefficients(run.even, even, 0, even.jtop + 1);
        begin_series_coefficients(run.odd, odd);
        fill_series_coefficients(run.odd, odd, 0, odd.jtop + 1);
    });

    // The stage's fill: the first plane of a run also makes the kept factors.
    plane_stage_ptr stage = reserve_plane_stage(args, 1);
    plan_levels(*stage, args, lev, tau);
    auto start = clock_type::now();
    fill_plane_wigner(*stage, ithe);
    const double t_stage_first = seconds_since(start);
    const double t_stage = median_time(runs, [&] { fill_plane_wigner(*stage, ithe); });

    routines::wigner_plane wig;
    routines::reserve_wigner_plane(wig, jmax);
    const routines::wigd_angle_tables tables(jmax, grid_angle(ithe));
    const int jtop[2] = {even.jtop, odd.jtop};
    const double t_wigner = median_time(runs, [&] {
        routines::fill_trusted_wigner_plane(wig, tables.view(), grid_angle(ithe), jtop);
    });

    const simd_path path = best_simd_path();
    const double t_fold = median_time(runs, [&] {
        begin_series_plane(plane.even, run.even);
        begin_series_plane(plane.odd, run.odd);
        fold_series_rows(plane.even, run.even, wig.block(0, parity::even), 0, plane.even.k.rows);
        fold_series_rows(plane.odd, run.odd, wig.block(0, parity::odd), 0, plane.odd.k.rows);
    });
    const double t_columns = median_time(runs, [&] {
        fill_series_columns(plane.even, run.angles, 0, series_column_groups, path);
        fill_series_columns(plane.odd, run.angles, 0, series_column_groups, path);
    });
    std::vector<double> rho(region_points), eng(region_points), esq(region_points);
    std::vector<series_block_sums> even_sums(region_points), odd_sums(region_points);
    const series_setup setup{-1, &plane.even, &plane.odd, &run.angles};
    const double t_points = median_time(runs, [&] {
        finish_series_groups(setup, run.groups, rho.data(), eng.data(), esq.data(), even_sums.data(),
                             odd_sums.data(), path);
    });

    // The present evaluation of the same plane, one thread.
    const density_setup today{-1, jmax, &even, &odd, wig.block(0, parity::even), wig.block(0, parity::odd)};
    std::vector<region_point> region(region_points);
    list_region(region);
    std::vector<double> scratch(group_scratch_size(jmax));
    std::vector<double> rho_t(region_points), eng_t(region_points), esq_t(region_points);
    const double t_today = median_time(std::max(1, runs / 2), [&] {
        for (int first = 0; first < region_points; first += group_width) {
            const int count = std::min(group_width, region_points - first);
            int iphi[group_width], ichi[group_width];
            for (int l = 0; l < count; ++l) {
                iphi[l] = region[static_cast<std::size_t>(first + l)].iphi;
                ichi[l] = region[static_cast<std::size_t>(first + l)].ichi;
            }
            evaluate_group(today, iphi, ichi, count, scratch, &rho_t[static_cast<std::size_t>(first)],
                           &eng_t[static_cast<std::size_t>(first)], &esq_t[static_cast<std::size_t>(first)], path);
        }
    });

    std::fprintf(stderr, "jmax %d ithe %d temp %g nslice %d (levels kept up to J %d even, %d odd), medians of %d\n",
                 jmax, ithe, args.temp, args.nslice, even.jtop, odd.jtop, runs);
    std::fprintf(stderr, "  once per run:  cos/sin of K x %.4f s, coefficients Q %.4f s\n", t_angles, t_coefficients);
    std::fprintf(stderr, "  Wigner values: stage fill %.4f s (first plane %.4f s), one-thread fill %.4f s\n", t_stage,
                 t_stage_first, t_wigner);
    std::fprintf(stderr, "  series:        F %.4f s, C/S %.4f s, points %.4f s; plane %.4f s without the Wigner values\n",
                 t_fold, t_columns, t_points, t_fold + t_columns + t_points);
    std::fprintf(stderr, "  present evaluation of the plane (one thread): %.4f s\n", t_today);
    std::fprintf(stderr, "  series storage %.1f MB\n", static_cast<double>(series_bytes(jmax)) / (1 << 20));
    // A fingerprint of the plane's bits (FNV-1a over rho, eng, esq and the
    // block sums), to tell at a glance whether a change kept every bit.
    std::uint64_t fingerprint = 1469598103934665603u;
    auto mix = [&](double v) {
        unsigned char b[sizeof v];
        std::memcpy(b, &v, sizeof v);
        for (unsigned char c : b) fingerprint = (fingerprint ^ c) * 1099511628211u;
    };
    for (std::size_t p = 0; p < region_points; ++p)
        for (double v : {rho[p], eng[p], esq[p], even_sums[p].r, even_sums[p].u, even_sums[p].v, odd_sums[p].r,
                         odd_sums[p].u, odd_sums[p].v})
            mix(v);
    std::fprintf(stderr, "  fingerprint of the plane's bits %016llx\n", static_cast<unsigned long long>(fingerprint));

    if (accuracy) {
        std::vector<double> wigtab(literal_wigner_size(jmax));
        literal_wigner_plane(jmax, ithe, wigtab);
        const yardstick_levels y = make_yardstick_levels(lev, tau);
        std::vector<yardstick_point> points(region_points);
        yardstick_plane(y, wigtab, points, 1);
        report_accuracy("series", points, rho, eng, esq, &even_sums, &odd_sums);
        report_accuracy("present", points, rho_t, eng_t, esq_t, nullptr, nullptr);
        int differ = 0;
        for (std::size_t p = 0; p < region_points; ++p)
            differ += (printed(rho[p]) != printed(rho_t[p])) + (printed(eng[p]) != printed(eng_t[p]))
                      + (printed(esq[p]) != printed(esq_t[p]));
        std::fprintf(stderr, "  series against present: %d of %d printed values differ\n", differ, 3 * region_points);
    }
    return 0;
}
