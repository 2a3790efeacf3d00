#include "kelvane/density/plane_evaluator.hpp"

#include "kelvane/density/euler_grid.hpp"
#include "kelvane/density/fourier_series.hpp"
#include "kelvane/density/term_by_term.hpp"
#include "kelvane/levels/level_stage.hpp"

namespace kelvane {

namespace {

template <class Evaluation>
std::unique_ptr<Evaluation> made(const evaluation_settings& s, routines::storage& st)
{
    auto e = std::make_unique<Evaluation>(s);
    st.add(sizeof(Evaluation));
    e->reserve(st);
    return e;
}

}  // namespace

evaluation_settings settings_of(const run_args& args, block_selection blocks, int threads, simd_path path)
{
    const int jtop = weight_cut_jtop(time_steps_of(args).tau, args.ax, args.ay, args.az, args.jmax);
    return {args.jmax, jtop, blocks, threads, path};
}

void reserve_region_values(routines::storage& s, region_values& v)
{
    s.take(v.rho, region_points);
    s.take(v.eng, region_points);
    s.take(v.esq, region_points);
}

std::unique_ptr<plane_evaluator> make_plane_evaluator(plane_evaluation evaluation, const evaluation_settings& s,
                                                      routines::storage& st)
{
    if (evaluation == plane_evaluation::fourier_series) return made<fourier_series_evaluator>(s, st);
    return made<term_by_term_evaluator>(s, st);
}

}  // namespace kelvane
