// One theta plane of kelvane for water (iodevn -1) by both evaluations on one
// thread: the Fourier series and the term-by-term evaluation, each planned
// once for the run (levels, and for the series the cosines and sines of K x
// and the level coefficients), then the Wigner values of the plane and the
// evaluation of its reduced region.  Prints the medians of RUNS runs on
// standard error, and a fingerprint of the series plane's bits.
//
//   series_bench JMAX [RUNS] [ITHE] [TEMP] [NSLICE] [accuracy]
//
// With "accuracy", also the plane against the binary128 yardstick, for the
// series and for the term-by-term evaluation: the largest distance of a
// block sum in units of the last place, and how many printed values differ.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kelvane/density/euler_grid.hpp"
#include "tests/support/density_planes.hpp"
#include "tests/support/density_reference.hpp"
#include "tests/support/density_yardstick.hpp"
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
                     const std::vector<block_sums>* even, const std::vector<block_sums>* odd)
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
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const int ithe = argc > 3 ? std::atoi(argv[3]) : 90;
    run_args args = test_planes::water(std::atoi(argv[1]), argc > 4 ? std::atof(argv[4]) : 10,
                                       argc > 5 ? std::atoi(argv[5]) : 128, -1, ithe);
    const bool accuracy = argc > 6 && std::string(argv[6]) == "accuracy";
    const int jmax = args.jmax;
    const double tau = test_planes::run_tau(args);
    const rotlev lev = test_planes::run_levels(args);

    struct timed {
        const char* name;
        double plan, wigner, evaluate;
        region_values values;
    };
    std::vector<timed> results;
    for (const plane_evaluation evaluation : {plane_evaluation::fourier_series, plane_evaluation::term_by_term}) {
        args.evaluation = evaluation;
        const bool series = evaluation == plane_evaluation::fourier_series;
        timed t{series ? "series" : "term", 0, 0, 0, {}};
        std::unique_ptr<plane_evaluator> e;
        t.plan = median_time(runs, [&] { e = test_planes::planned(args, lev, tau); });
        routines::wigner_plane w;
        t.wigner = median_time(runs, [&] { test_planes::fill_tables(w, *e, ithe); });
        t.evaluate = median_time(series ? runs : std::max(1, runs / 2), [&] { t.values = test_planes::evaluate(*e, w, true); });
        results.push_back(std::move(t));
    }

    std::fprintf(stderr, "jmax %d ithe %d temp %g nslice %d, one thread, medians of %d\n", jmax, ithe, args.temp,
                 args.nslice, runs);
    for (const timed& t : results)
        std::fprintf(stderr, "  %-6s plan %.4f s, Wigner values %.4f s, evaluation %.4f s\n", t.name, t.plan, t.wigner,
                     t.evaluate);
    // A fingerprint of the series plane's bits (FNV-1a over rho, eng, esq and
    // the block sums), to tell at a glance whether a change kept every bit.
    const region_values& v = results[0].values;
    std::uint64_t fingerprint = 1469598103934665603u;
    auto mix = [&](double x) {
        unsigned char b[sizeof x];
        std::memcpy(b, &x, sizeof x);
        for (unsigned char c : b) fingerprint = (fingerprint ^ c) * 1099511628211u;
    };
    for (std::size_t p = 0; p < region_points; ++p)
        for (double x : {v.rho[p], v.eng[p], v.esq[p], v.even[p].r, v.even[p].u, v.even[p].v, v.odd[p].r, v.odd[p].u,
                         v.odd[p].v})
            mix(x);
    std::fprintf(stderr, "  fingerprint of the series plane's bits %016llx\n", static_cast<unsigned long long>(fingerprint));

    if (accuracy) {
        std::vector<double> wigtab(literal_wigner_size(jmax));
        test_planes::wigner_table(routines::wigner_method::three_term, jmax, ithe, wigtab);
        const yardstick_levels y = make_yardstick_levels(lev, tau);
        std::vector<yardstick_point> points(region_points);
        yardstick_plane(y, wigtab, points, 1);
        const region_values& t = results[1].values;
        report_accuracy("series", points, v.rho, v.eng, v.esq, &v.even, &v.odd);
        report_accuracy("term", points, t.rho, t.eng, t.esq, &t.even, &t.odd);
        int differ = 0;
        for (std::size_t p = 0; p < region_points; ++p)
            differ += (printed(v.rho[p]) != printed(t.rho[p])) + (printed(v.eng[p]) != printed(t.eng[p]))
                      + (printed(v.esq[p]) != printed(t.esq[p]));
        std::fprintf(stderr, "  series against term by term: %d of %d printed values differ\n", differ,
                     3 * region_points);
    }
    return 0;
}
