#include "kelvane/density/plane_stage.hpp"

#include <new>
#include <string>
#include <vector>

#include "kelvane/density/euler_grid.hpp"
#include "kelvane/density/plane_evaluator.hpp"
#include "process/process.hpp"
#include "routines/storage.hpp"
#include "routines/wigner/plane_tables.hpp"

namespace kelvane {

// Storage of the density stage, obtained once before the level stage: the
// Wigner tables of the plane in work, its evaluation, the values of its
// reduced region and the map from cells to region points.  Nothing grows
// with the number of planes.
class plane_stage {
public:
    int threads = 1;
    routines::wigner_plane wigner;
    std::unique_ptr<plane_evaluator> evaluator;
    region_values values;
    std::vector<std::int32_t> source;     // cell -> region ordinal

    // Everything the stage needs, taken or counted: itself, its arrays, the
    // output's, the evaluation's and the Wigner tables the evaluation reads.
    void reserve(routines::storage& s, plane_evaluation evaluation, const evaluation_settings& settings,
                 plane_output& output)
    {
        s.add(sizeof(plane_stage));
        reserve_region_values(s, values);
        s.take(source, plane_cells);
        output.reserve(s);
        evaluator = make_plane_evaluator(evaluation, settings, s);
        const wigner_tables w = evaluator->wigner_needs();
        routines::reserve_wigner_plane(s, wigner, w.jmax, w.method);
    }
};

void plane_stage_deleter::operator()(plane_stage* p) const { delete p; }

plane_stage_ptr reserve_plane_stage(const run_args& args, block_selection blocks, int threads, plane_output& output)
{
    const evaluation_settings settings = settings_of(args, blocks, threads);
    plane_stage_ptr s;
    try {
        s.reset(new plane_stage);
        s->threads = threads;
        routines::storage taking = routines::storage::taking();
        s->reserve(taking, args.evaluation, settings, output);
    } catch (const std::bad_alloc&) {
        plane_stage counted;
        routines::storage counting = routines::storage::counting();
        counted.reserve(counting, args.evaluation, settings, output);
        const std::size_t bytes = counting.bytes();
        throw process::run_failure("cannot obtain the " + std::to_string(bytes / (1024 * 1024) + 1) + " MB (" +
                                   std::to_string(bytes) + " bytes) the density planes need at jmax = " +
                                   std::to_string(args.jmax));
    }
    fill_cell_sources(s->source);
    return s;
}

void plan_levels(plane_stage& s, const rotlev& levels, double tau) { s.evaluator->plan(levels, tau); }

void write_plane(plane_stage& s, int ithe, plane_progress& progress, plane_output& output)
{
    progress.plane_started(ithe);
    output.begin_plane(ithe);
    // The plane's Wigner tables as far as the evaluation reads them, then
    // its reduced region; the symmetry copies are the output's map.
    routines::fill_wigner_plane(s.wigner, grid_angle(ithe), s.evaluator->wigner_tops(), s.threads);
    s.evaluator->evaluate(s.wigner, s.values, progress);
    output.write_plane({ithe, s.values, s.source});
    progress.plane_written(ithe);
}

void write_computed_plane(const plane_stage& s, int ithe, const region_values& values, plane_output& output)
{
    output.write_plane({ithe, values, s.source});
}

}  // namespace kelvane
