#include "tests/support/density_planes.hpp"

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
    const evaluation_settings s{args.jmax, *block_selection::of(args.iodevn), threads, path};
    std::unique_ptr<plane_evaluator> e = make_plane_evaluator(args.evaluation, s);
    e->plan(levels, tau);
    return e;
}

void fill_tables(routines::wigner_plane& w, const plane_evaluator& e, int jmax, int ithe, int threads)
{
    if (w.jmax != jmax) routines::reserve_wigner_plane(w, jmax);
    const std::array<int, 2> tops = e.wigner_tops();
    const int jtop[2] = {tops[0], tops[1]};
    routines::fill_wigner_plane(w, grid_angle(ithe), jtop, threads);
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
