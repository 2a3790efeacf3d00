// The Wigner values of one theta plane (every J <= jmax, every pair K1, K2 of
// the same parity, one angle): the series alone against the trusted values.
//
//   literal    wigd for every pair
//   tabulated  wigd_tabulated from the tables of the angle
//   trusted    wigd_trusted_plane (tabulated series, bound, one sweep)
//   factors    the series from the angle-independent factors kept for a run,
//              only the powers of the angle made per plane
//   factors+   the same with the screen, the bound and the sweep: the trusted
//              values as a density stage that keeps the factors gets them
//
// Prints, for each, the median of RUNS runs in seconds of processor time and the ratio of the
// trusted forms to their series, and how many values the recursion supplied.
// DEGREES "all" runs the two factor forms once over every plane 0..180
// instead: the whole table of a run.
//   wigner_bench JMAX [RUNS] [DEGREES|all] [skip-literal]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "routines/wigd.hpp"
#include "routines/wigner_accurate.hpp"

using namespace routines;

namespace {

// Processor time of this thread: the machine is shared, and a form that waits
// for the processor should not be charged for it.
struct cpu_time { double s; };

cpu_time cpu_now()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return {static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec)};
}

double seconds_since(cpu_time t) { return cpu_now().s - t.s; }

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::size_t plane_at(int jmax, int j, int k1, int k2)
{
    return static_cast<std::size_t>(j) +
           static_cast<std::size_t>(jmax + 1) *
               (static_cast<std::size_t>(k1 + jmax) + static_cast<std::size_t>(2 * jmax + 1) * (k2 + jmax));
}

volatile double sink;

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: wigner_bench JMAX [RUNS] [DEGREES] [skip-literal]\n");
        return 2;
    }
    const int jmax = std::atoi(argv[1]);
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const bool all_planes = argc > 3 && std::strcmp(argv[3], "all") == 0;
    const int deg = argc > 3 && !all_planes ? std::atoi(argv[3]) : 90;
    const bool literal = !(argc > 4 && std::strcmp(argv[4], "skip-literal") == 0);
    const double beta = (deg * 3.141592653589793) / 180;

    std::vector<double> plane(static_cast<std::size_t>(jmax + 1) * (2 * jmax + 1) * (2 * jmax + 1));
    std::vector<double> work(wigd_work_size(jmax));
    std::vector<double> lnf(wigd_lnf_size(jmax));
    std::vector<__float128> cp(wigd_pow_size(jmax)), np(wigd_pow_size(jmax));
    fill_wigd_lnf(jmax, lnf);

    // The factors of the whole run, made once and not timed per plane.
    std::vector<std::size_t> start;
    std::size_t nfactors = 0;
    for (int j = 0; j <= jmax; ++j)
        for (int k2 = -j; k2 <= j; ++k2)
            for (int k1 = -j; k1 <= j; ++k1)
                if ((k1 - k2) % 2 == 0) {
                    start.push_back(nfactors);
                    nfactors += static_cast<std::size_t>(wigd_term_count(j, k1, k2));
                }
    std::vector<__float128> factors(nfactors);
    const auto tf = cpu_now();
    {
        std::size_t e = 0;
        for (int j = 0; j <= jmax; ++j)
            for (int k2 = -j; k2 <= j; ++k2)
                for (int k1 = -j; k1 <= j; ++k1)
                    if ((k1 - k2) % 2 == 0) fill_wigd_factors(j, k1, k2, lnf, factors.data() + start[e++]);
    }
    const double factor_time = seconds_since(tf);

    long recursion_values = 0, values = 0;
    auto factor_plane = [&](double angle) {
        fill_wigd_powers(jmax, angle, cp, np);
        std::size_t e = 0;
        for (int j = 0; j <= jmax; ++j)
            for (int k2 = -j; k2 <= j; ++k2)
                for (int k1 = -j; k1 <= j; ++k1)
                    if ((k1 - k2) % 2 == 0)
                        plane[plane_at(jmax, j, k1, k2)] =
                            wigd_from_factors(j, k1, k2, factors.data() + start[e++], cp, np);
    };
    auto trusted_factor_plane = [&](double angle) {
        fill_wigd_powers(jmax, angle, cp, np);
        wigd_sweep sw = wigd_sweep_start(jmax, angle, work);
        const wigd_screen screen = wigd_screen_of(angle);
        std::size_t e = 0;
        long from_recursion = 0;
        for (int j = 0; j <= jmax; ++j) {
            if (j > 0) wigd_sweep_next(sw);
            for (int k2 = -j; k2 <= j; ++k2)
                for (int k1 = -j; k1 <= j; ++k1)
                    if ((k1 - k2) % 2 == 0) {
                        const __float128* f = factors.data() + start[e++];
                        double v = 0;
                        __float128 abs_sum;
                        switch (wigd_screen_element(j, k1, k2, lnf, screen, wigd_limit_for(jmax))) {
                        case wigd_verdict::series: v = wigd_from_factors(j, k1, k2, f, cp, np); break;
                        case wigd_verdict::recursion:
                            v = wigd_sweep_element(sw, k1, k2);
                            ++from_recursion;
                            break;
                        case wigd_verdict::sum_with_bound:
                            v = wigd_from_factors(j, k1, k2, f, cp, np, &abs_sum);
                            if (!(wigd_series_bound(j, k1, k2, lnf, v, abs_sum) < wigd_limit_for(jmax))) {
                                v = wigd_sweep_element(sw, k1, k2);
                                ++from_recursion;
                            }
                            break;
                        }
                        plane[plane_at(jmax, j, k1, k2)] = v;
                    }
        }
        recursion_values += from_recursion;
        values += static_cast<long>(e);
    };

    if (all_planes) {
        std::vector<double> t_fac, t_fac_trusted;
        for (int r = 0; r < runs; ++r) {
            recursion_values = values = 0;
            auto t0 = cpu_now();
            for (int d = 0; d <= 180; ++d) factor_plane((d * 3.141592653589793) / 180);
            t_fac.push_back(seconds_since(t0));
            t0 = cpu_now();
            for (int d = 0; d <= 180; ++d) trusted_factor_plane((d * 3.141592653589793) / 180);
            t_fac_trusted.push_back(seconds_since(t0));
        }
        std::printf("jmax %d  planes 0..180  values %ld  from the recursion %ld  runs %d\n", jmax, values,
                    recursion_values, runs);
        std::printf("  factors      %10.5f s   (factors of the run: %.3f s once)\n", median(t_fac), factor_time);
        std::printf("  factors+     %10.5f s   %.3f x factors;  with the factors: %.3f x\n", median(t_fac_trusted),
                    median(t_fac_trusted) / median(t_fac),
                    (median(t_fac_trusted) + factor_time) / (median(t_fac) + factor_time));
        return 0;
    }

    std::vector<double> t_literal, t_tab, t_trusted, t_fac, t_fac_trusted;
    for (int r = 0; r < runs; ++r) {
        if (literal) {
            const auto t0 = cpu_now();
            for (int j = 0; j <= jmax; ++j)
                for (int k2 = -j; k2 <= j; ++k2)
                    for (int k1 = -j; k1 <= j; ++k1)
                        if ((k1 - k2) % 2 == 0) plane[plane_at(jmax, j, k1, k2)] = wigd(j, k1, k2, beta);
            t_literal.push_back(seconds_since(t0));
        }
        {
            const auto t0 = cpu_now();
            fill_wigd_powers(jmax, beta, cp, np);
            const wigd_tables t{lnf, cp, np};
            for (int j = 0; j <= jmax; ++j)
                for (int k2 = -j; k2 <= j; ++k2)
                    for (int k1 = -j; k1 <= j; ++k1)
                        if ((k1 - k2) % 2 == 0) plane[plane_at(jmax, j, k1, k2)] = wigd_tabulated(j, k1, k2, t);
            t_tab.push_back(seconds_since(t0));
        }
        {
            const auto t0 = cpu_now();
            fill_wigd_powers(jmax, beta, cp, np);
            const wigd_tables t{lnf, cp, np};
            wigd_trusted_plane(jmax, beta, t, plane, work, true);
            t_trusted.push_back(seconds_since(t0));
        }
        {
            const auto t0 = cpu_now();
            factor_plane(beta);
            t_fac.push_back(seconds_since(t0));
        }
        {
            recursion_values = values = 0;
            const auto t0 = cpu_now();
            trusted_factor_plane(beta);
            t_fac_trusted.push_back(seconds_since(t0));
        }
        sink = plane[plane_at(jmax, jmax, 0, 0)];
    }

    std::printf("jmax %d  theta %d  values %ld  from the recursion %ld  runs %d\n", jmax, deg, values,
                recursion_values, runs);
    if (literal) std::printf("  literal      %10.5f s\n", median(t_literal));
    std::printf("  tabulated    %10.5f s\n", median(t_tab));
    std::printf("  trusted      %10.5f s   %.3f x tabulated\n", median(t_trusted), median(t_trusted) / median(t_tab));
    std::printf("  factors      %10.5f s   (factors of the run: %.3f s once)\n", median(t_fac), factor_time);
    std::printf("  factors+     %10.5f s   %.3f x factors\n", median(t_fac_trusted),
                median(t_fac_trusted) / median(t_fac));
    return 0;
}
