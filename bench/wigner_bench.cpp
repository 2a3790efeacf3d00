// The Wigner values of one theta plane (every J <= jmax, every pair K1, K2 of
// the same parity, one angle): the series alone against the trusted values.
//
//   literal    wigd for every pair (tests/support/wigner_reference)
//   tabulated  the series from the tables of the angle, every term
//   trusted    the straightforward trusted plane: every series with its
//              bound, one sweep of the recursion
//   factors    the series from the angle-independent factors kept for a run,
//              only the powers of the angle made per plane
//   plane      routines::fill_wigner_plane on one thread, as the density
//              stage fills a plane once the factors its terms need are made
//              (the first plane of a run makes them as it goes)
//
// Prints, for each, the median of RUNS runs in seconds of processor time and
// the ratio of the trusted forms to their series, and how many values the
// recursion supplied.  DEGREES "all" runs the factors and the plane fill over
// every plane 0..180 instead: the whole table of a run, the plane fill on a
// newly reserved plane each time, making the factors as a run does.
//   wigner_bench JMAX [RUNS] [DEGREES|all] [skip-literal]
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "routines/wigner/plane_tables.hpp"
#include "routines/wigner/recursion.hpp"
#include "tests/support/wigner_reference.hpp"

using namespace wigner_reference;

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

// Every same-parity pair of every J <= jmax, in the order of the plane.
template <class Pair>
void for_each_pair(int jmax, Pair&& pair)
{
    for (int j = 0; j <= jmax; ++j)
        for (int k2 = -j; k2 <= j; ++k2)
            for (int k1 = -j; k1 <= j; ++k1)
                if ((k1 - k2) % 2 == 0) pair(j, k1, k2);
}

long recursion_count(const routines::wigner_plane& w)
{
    long n = 0;
    for (const std::int32_t m : w.marked) n += m;
    return n;
}

volatile double sink;

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: wigner_bench JMAX [RUNS] [DEGREES|all] [skip-literal]\n");
        return 2;
    }
    const int jmax = std::atoi(argv[1]);
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const bool all_planes = argc > 3 && std::strcmp(argv[3], "all") == 0;
    const int deg = argc > 3 && !all_planes ? std::atoi(argv[3]) : 90;
    const bool literal = !(argc > 4 && std::strcmp(argv[4], "skip-literal") == 0);
    const double beta = radians(deg);
    const std::array<int, 2> jtop = {jmax, jmax};

    std::vector<double> plane(plane_size(jmax));
    std::vector<double> work(routines::wigner::sweep_work_size(jmax));

    // The factors of the whole run, made once and not timed per plane.
    const auto tf = cpu_now();
    const plane_factors factors(jmax, true);
    const double factor_time = seconds_since(tf);

    auto factor_plane = [&](double angle) {
        const wigd_angle_tables t(jmax, angle);
        for_each_pair(jmax, [&](int j, int k1, int k2) {
            plane[plane_at(jmax, j, k1, k2)] = wigd_from_factors(j, k1, k2, factors.of(j, k1, k2), t.view());
        });
    };
    long values = 0;
    for_each_pair(jmax, [&](int, int, int) { ++values; });

    if (all_planes) {
        std::vector<double> t_fac, t_plane;
        long recursion_values = 0;
        for (int r = 0; r < runs; ++r) {
            auto t0 = cpu_now();
            for (int d = 0; d <= 180; ++d) factor_plane(radians(d));
            t_fac.push_back(seconds_since(t0));
            routines::wigner_plane w;
            routines::reserve_wigner_plane(w, jmax);
            recursion_values = 0;
            t0 = cpu_now();
            for (int d = 0; d <= 180; ++d) {
                routines::fill_wigner_plane(w, radians(d), jtop, 1);
                recursion_values += recursion_count(w);
            }
            t_plane.push_back(seconds_since(t0));
        }
        std::printf("jmax %d  planes 0..180  values %ld  from the recursion %ld  runs %d\n", jmax, 181 * values,
                    recursion_values, runs);
        std::printf("  factors      %10.5f s   (factors of the run: %.3f s once)\n", median(t_fac), factor_time);
        std::printf("  plane        %10.5f s   %.3f x factors with the factors\n", median(t_plane),
                    median(t_plane) / (median(t_fac) + factor_time));
        return 0;
    }

    routines::wigner_plane w;
    routines::reserve_wigner_plane(w, jmax);
    auto t0 = cpu_now();
    routines::fill_wigner_plane(w, beta, jtop, 1);
    const double first_plane = seconds_since(t0);
    const long recursion_values = recursion_count(w);

    std::vector<double> t_literal, t_tab, t_trusted, t_fac, t_plane;
    for (int r = 0; r < runs; ++r) {
        if (literal) {
            t0 = cpu_now();
            for_each_pair(jmax, [&](int j, int k1, int k2) { plane[plane_at(jmax, j, k1, k2)] = wigd(j, k1, k2, beta); });
            t_literal.push_back(seconds_since(t0));
        }
        t0 = cpu_now();
        {
            const wigd_angle_tables t(jmax, beta);
            for_each_pair(jmax, [&](int j, int k1, int k2) {
                plane[plane_at(jmax, j, k1, k2)] = wigd_tabulated(j, k1, k2, t.view());
            });
        }
        t_tab.push_back(seconds_since(t0));
        t0 = cpu_now();
        {
            const wigd_angle_tables t(jmax, beta);
            wigd_trusted_plane(jmax, beta, t.view(), plane, work, true);
        }
        t_trusted.push_back(seconds_since(t0));
        t0 = cpu_now();
        factor_plane(beta);
        t_fac.push_back(seconds_since(t0));
        t0 = cpu_now();
        routines::fill_wigner_plane(w, beta, jtop, 1);
        t_plane.push_back(seconds_since(t0));
        sink = plane[plane_at(jmax, jmax, 0, 0)] + w.table[0][0];
    }

    std::printf("jmax %d  theta %d  values %ld  from the recursion %ld  runs %d\n", jmax, deg, values,
                recursion_values, runs);
    if (literal) std::printf("  literal      %10.5f s\n", median(t_literal));
    std::printf("  tabulated    %10.5f s\n", median(t_tab));
    std::printf("  trusted      %10.5f s   %.3f x tabulated\n", median(t_trusted), median(t_trusted) / median(t_tab));
    std::printf("  factors      %10.5f s   (factors of the run: %.3f s once)\n", median(t_fac), factor_time);
    std::printf("  plane        %10.5f s   %.3f x factors  (first plane, making its factors: %.3f s)\n",
                median(t_plane), median(t_plane) / median(t_fac), first_plane);
    return 0;
}
