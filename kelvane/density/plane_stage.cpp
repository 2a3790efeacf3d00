#include "kelvane/density/plane_stage.hpp"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "kelvane/density/euler_grid.hpp"
#include "kelvane/density/plane_evaluator.hpp"
#include "kelvane/density/plane_files.hpp"
#include "process/process.hpp"
#include "routines/parallel.hpp"
#include "routines/storage.hpp"
#include "routines/wigner_plane.hpp"
#include "textio/textio.hpp"

namespace kelvane {

// Storage of the density stage, obtained once before the level stage: the
// Wigner tables of the plane in work, its evaluation, the values of its
// reduced region and their text, and the text of its four files.  Nothing
// grows with the number of planes.
class plane_stage {
public:
    int threads = 1;
    std::string header;                   // the two lines that open plane 0
    routines::wigner_plane wigner;
    std::unique_ptr<plane_evaluator> evaluator;
    region_values values;
    std::vector<std::int32_t> source;     // cell -> region ordinal
    std::string point_text;               // region order, point_text_width per point
    std::string buffers[4];

    // The stage's own arrays, taken or counted.
    void reserve(routines::storage& s)
    {
        reserve_region_values(s, values);
        s.take(source, plane_cells);
        s.room(point_text, static_cast<std::size_t>(region_points) * point_text_width);
        s.room(buffers[0], plane_cells * combined_record_width);
        for (int k = 1; k < 4; ++k) s.room(buffers[k], plane_cells * single_record_width);
    }
};

void plane_stage_deleter::operator()(plane_stage* p) const { delete p; }

namespace {

// Work items: points formatted in runs of this many, records in runs of
// this many rows.
constexpr int formatting_points_per_item = 1024;
constexpr int rows_per_item = 19;

// The three values of the points first .. first + count - 1 as they are
// printed, each point's once.
void format_points(plane_stage& s, int first, int count)
{
    std::string field;
    for (int l = first; l < first + count; ++l) {
        char* text = &s.point_text[static_cast<std::size_t>(l) * point_text_width];
        const auto at = static_cast<std::size_t>(l);
        const double values[3] = {s.values.rho[at], s.values.eng[at], s.values.esq[at]};
        for (int v = 0; v < 3; ++v) {
            field.clear();
            textio::put_e(field, values[v], value_text_width, 8);
            std::memcpy(text + v * value_text_width, field.data(), value_text_width);
        }
    }
}

}  // namespace

plane_stage_ptr reserve_plane_stage(const run_args& args, block_selection blocks, int threads)
{
    const evaluation_settings settings{args.jmax, blocks, threads, best_simd_path()};
    plane_stage_ptr s;
    try {
        s.reset(new plane_stage);
        s->threads = threads;
        s->header = plane_header(args);
        routines::storage taking = routines::storage::taking();
        s->reserve(taking);
        s->point_text.resize(static_cast<std::size_t>(region_points) * point_text_width);
        routines::reserve_wigner_plane(s->wigner, args.jmax);
        s->evaluator = make_plane_evaluator(args.evaluation, settings);
    } catch (const std::bad_alloc&) {
        plane_stage counted;
        routines::storage counting = routines::storage::counting();
        counted.reserve(counting);
        const std::size_t bytes = sizeof(plane_stage) + counting.bytes() + routines::wigner_plane_bytes(args.jmax) +
                                  evaluation_bytes(args.evaluation, settings);
        throw process::run_failure("cannot obtain the " + std::to_string(bytes / (1024 * 1024) + 1) + " MB (" +
                                   std::to_string(bytes) + " bytes) the density planes need at jmax = " +
                                   std::to_string(args.jmax));
    }
    fill_cell_sources(s->source);
    return s;
}

void plan_levels(plane_stage& s, const rotlev& levels, double tau) { s.evaluator->plan(levels, tau); }

void write_plane(plane_stage& s, int ithe, plane_progress& progress)
{
    progress.plane_started(ithe);
    plane_files files;
    open_plane_files(files, ithe);
    if (ithe == 0) write_plane_text(files, 0, s.header);

    // The plane's Wigner tables as far as the evaluation reads them, its
    // reduced region, the text of each point once, then the records by rows
    // and the four files, each step over the workers: the copying of a
    // plane's 15 MB into the files is kernel work that two threads share as
    // well as the arithmetic.
    const std::array<int, 2> tops = s.evaluator->wigner_tops();
    const int jtop[2] = {tops[0], tops[1]};
    routines::fill_wigner_plane(s.wigner, grid_angle(ithe), jtop, s.threads);
    s.evaluator->evaluate(s.wigner, s.values, progress);
    routines::for_each_item(s.threads, (region_points + formatting_points_per_item - 1) / formatting_points_per_item,
                            [&](int, int item) {
                                const int first = item * formatting_points_per_item;
                                format_points(s, first, std::min(formatting_points_per_item, region_points - first));
                            });
    size_plane_records(s.buffers);
    routines::for_each_item(s.threads, (plane_side + rows_per_item - 1) / rows_per_item, [&](int, int item) {
        const int first = item * rows_per_item;
        format_plane_rows(ithe, first, std::min(first + rows_per_item, plane_side) - 1, s.source, s.point_text,
                          s.buffers);
    });
    routines::for_each_item(s.threads, 4, [&](int, int k) { write_plane_text(files, k, s.buffers[k]); });
    close_plane_files(files);
    progress.plane_written(ithe);
}

}  // namespace kelvane
