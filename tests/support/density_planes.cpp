#include "tests/support/density_planes.hpp"

#include <algorithm>

#include "kelvane/density/euler_grid.hpp"
#include "kelvane/levels/level_loop.hpp"
#include "kelvane/levels/level_stage.hpp"
#include "process/process.hpp"
#include "tests/support/water.hpp"

namespace kelvane::test_planes {

run_args water(int jmax, double temp, int nslice, int iodevn, int ithe)
{
    return water_args(jmax, temp, nslice, iodevn, ithe, ithe);
}

rotlev run_levels(const run_args& args)
{
    level_storage storage = reserve_levels(0, args.jmax, true, 1);
    compute_levels(storage, args, process::line_sink::discarded());
    return storage.levels;
}

double run_tau(const run_args& args) { return time_steps_of(args).tau; }

std::unique_ptr<plane_evaluator> planned(const run_args& args, const rotlev& levels, double tau, int threads,
                                         simd_path path)
{
    const evaluation_settings s = settings_of(args, *block_selection::of(args.iodevn), threads, path);
    routines::storage taking = routines::storage::taking();
    std::unique_ptr<plane_evaluator> e = make_plane_evaluator(args.evaluation, s, taking);
    e->plan(levels, tau);
    return e;
}

void fill_tables(routines::wigner_plane& w, const plane_evaluator& e, int ithe, int threads)
{
    const wigner_tables need = e.wigner_needs();
    if (w.jmax != need.jmax || w.method != need.method) routines::reserve_wigner_plane(w, need.jmax, need.method);
    routines::fill_wigner_plane(w, grid_angle(ithe), e.wigner_tops(), threads);
}

void wigner_table(routines::wigner_method method, int jmax, int ithe, std::span<double> wigtab)
{
    routines::wigner_plane w;
    routines::reserve_wigner_plane(w, jmax, method);
    routines::fill_wigner_plane(w, grid_angle(ithe), {jmax, jmax}, 2);
    std::fill(wigtab.begin(), wigtab.end(), 0.0);
    const auto side = static_cast<std::size_t>(2 * jmax + 1);
    for (int j = 0; j <= jmax; ++j)
        for (const parity p : routines::both_parities) {
            const int n = routines::block_order(j, p), k0 = routines::block_first_k(j, p);
            const double* d = w.block(j, p);
            for (int a = 0; a < n; ++a)
                for (int b = 0; b < n; ++b)
                    wigtab[static_cast<std::size_t>(j) + static_cast<std::size_t>(jmax + 1) *
                                                            (static_cast<std::size_t>(k0 + 2 * a + jmax) +
                                                             side * static_cast<std::size_t>(k0 + 2 * b + jmax))] =
                        d[a * n + b];
        }
}

region_values evaluate(plane_evaluator& e, const routines::wigner_plane& w, bool block_sums)
{
    region_values v;
    routines::storage taking = routines::storage::taking();
    reserve_region_values(taking, v);
    if (block_sums) {
        v.even.resize(region_points);
        v.odd.resize(region_points);
    }
    silent_progress silent;
    e.evaluate(w, v, silent);
    return v;
}

}  // namespace kelvane::test_planes
