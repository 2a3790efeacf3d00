#include "kelvane/density/plane_stage.hpp"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "kelvane/density/block_combination.hpp"
#include "kelvane/density/density_kernel.hpp"
#include "kelvane/density/euler_grid.hpp"
#include "kelvane/density/level_plan.hpp"
#include "kelvane/density/plane_files.hpp"
#include "routines/parallel.hpp"
#include "routines/wigner_plane.hpp"
#include "textio/textio.hpp"

namespace kelvane {

// Storage of the density stage, obtained once before the level stage: the
// plane in work (the evaluated eighth and its text), the Wigner values of the
// plane in work, the level plans, and per-worker cosines.  Nothing grows with
// the number of planes.
class plane_stage {
public:
    int threads = 1;
    simd_path path = simd_path::baseline;
    int jmax = 0;

    routines::wigner_plane wig;
    block_plan even_plan, odd_plan;

    std::vector<region_point> region;
    std::vector<std::int32_t> source;     // cell -> region ordinal
    std::vector<double> rho, eng, esq;    // region order
    std::string point_text;               // region order, point_text_width per point
    std::vector<std::vector<double>> scratch;
    std::string buffers[4];
};

void plane_stage_deleter::operator()(plane_stage* p) const { delete p; }

namespace {

std::size_t stage_bytes(int jmax, int threads)
{
    const auto dj = static_cast<std::size_t>(jmax);
    std::size_t b = 0;
    b += routines::wigner_plane_bytes(jmax);
    b += 2 * ((dj + 1) * (dj + 1) * sizeof(planned_level) + (dj + 2) * sizeof(std::int32_t));
    b += region_points * (sizeof(region_point) + 3 * sizeof(double) + point_text_width);
    b += plane_cells * sizeof(std::int32_t);
    b += static_cast<std::size_t>(threads) * group_scratch_size(jmax) * sizeof(double);
    b += plane_cells * (64 + 3 * 16) + 128;
    return b;
}

}  // namespace

plane_stage_ptr reserve_plane_stage(const run_args& args, int threads)
{
    if (args.ithe1 > args.ithe2) return nullptr;
    plane_stage_ptr s;
    try {
        s.reset(new plane_stage);
        s->threads = threads;
        s->path = best_simd_path();
        s->jmax = args.jmax;
        routines::reserve_wigner_plane(s->wig, args.jmax);
        reserve_block_plan(s->even_plan, args.jmax);
        reserve_block_plan(s->odd_plan, args.jmax);
        s->region.resize(region_points);
        s->source.resize(plane_cells);
        s->rho.resize(region_points);
        s->eng.resize(region_points);
        s->esq.resize(region_points);
        s->point_text.resize(static_cast<std::size_t>(region_points) * point_text_width);
        s->scratch.resize(static_cast<std::size_t>(threads));
        for (auto& w : s->scratch) w.resize(group_scratch_size(args.jmax));
        s->buffers[0].reserve(plane_cells * 64 + 128);
        for (int k = 1; k < 4; ++k) s->buffers[k].reserve(plane_cells * 16);
    } catch (const std::bad_alloc&) {
        const std::size_t bytes = stage_bytes(args.jmax, threads);
        throw textio::run_failure("kelvane: cannot obtain the " + std::to_string(bytes / (1024 * 1024) + 1) +
                                  " MB (" + std::to_string(bytes) + " bytes) the density planes need at jmax = " +
                                  std::to_string(args.jmax));
    }
    list_region(s->region);
    fill_cell_sources(s->source);
    return s;
}

void plan_levels(plane_stage& s, const run_args& args, const rotlev& levels, double tau)
{
    if (args.iodevn != 1) make_block_plan(s.even_plan, levels, parity::even, tau);
    if (args.iodevn != 0) make_block_plan(s.odd_plan, levels, parity::odd, tau);
}

// The Wigner values the plans read at theta = ithe degrees.
void fill_plane_wigner(plane_stage& s, int ithe)
{
    const int jtop[2] = {s.even_plan.jtop, s.odd_plan.jtop};
    routines::fill_wigner_plane(s.wig, grid_angle(ithe), jtop, s.threads);
}

namespace {

density_setup setup_of(const plane_stage& s, const run_args& args)
{
    return {args.iodevn,
            s.jmax,
            args.iodevn == 1 ? nullptr : &s.even_plan,
            args.iodevn == 0 ? nullptr : &s.odd_plan,
            s.wig.table[routines::parity_index(parity::even)].data(),
            s.wig.table[routines::parity_index(parity::odd)].data()};
}

// The reduced region of the plane, group by group over the workers, with the
// progress of every row told, in order, before any of its points is
// evaluated; each point's values are formatted once, by its worker.
void evaluate_plane(plane_stage& s, const run_args& args, plane_progress& progress)
{
    const density_setup setup = setup_of(s, args);
    const int groups = (region_points + group_width - 1) / group_width;
    std::mutex announcing;
    int rows_announced = 0;
    routines::for_each_item(s.threads, groups, [&](int worker, int g) {
        const int first = g * group_width;
        const int count = std::min(group_width, region_points - first);
        {
            std::lock_guard<std::mutex> lock(announcing);
            const int last_row = s.region[static_cast<std::size_t>(first + count - 1)].iphi;
            for (; rows_announced <= last_row; ++rows_announced) progress.row_started(rows_announced);
        }
        int iphi[group_width], ichi[group_width];
        for (int l = 0; l < count; ++l) {
            iphi[l] = s.region[static_cast<std::size_t>(first + l)].iphi;
            ichi[l] = s.region[static_cast<std::size_t>(first + l)].ichi;
        }
        evaluate_group(setup, iphi, ichi, count, s.scratch[static_cast<std::size_t>(worker)],
                       &s.rho[static_cast<std::size_t>(first)], &s.eng[static_cast<std::size_t>(first)],
                       &s.esq[static_cast<std::size_t>(first)], s.path);
        std::string field;
        for (int l = first; l < first + count; ++l) {
            char* text = &s.point_text[static_cast<std::size_t>(l) * point_text_width];
            const double values[3] = {s.rho[static_cast<std::size_t>(l)], s.eng[static_cast<std::size_t>(l)],
                                      s.esq[static_cast<std::size_t>(l)]};
            for (int v = 0; v < 3; ++v) {
                field.clear();
                textio::put_e(field, values[v], value_text_width, 8);
                std::memcpy(text + v * value_text_width, field.data(), value_text_width);
            }
        }
    });
}

}  // namespace

void compute_plane(plane_stage& s, const run_args& args, int ithe, plane_progress& progress)
{
    fill_plane_wigner(s, ithe);
    evaluate_plane(s, args, progress);
}

void write_plane(plane_stage& s, const run_args& args, int ithe, plane_progress& progress)
{
    progress.plane_started(ithe);
    plane_files files;
    open_plane_files(files, ithe);
    if (ithe == 0) write_plane_text(files, 0, plane_header(args));
    compute_plane(s, args, ithe, progress);
    format_plane_records(ithe, s.source, s.point_text, s.buffers);
    for (int k = 0; k < 4; ++k) write_plane_text(files, k, s.buffers[k]);
    close_plane_files(files);
    progress.plane_written(ithe);
}

void run_planes(plane_stage& s, const run_args& args, const rotlev& levels, double tau, plane_progress& progress)
{
    plan_levels(s, args, levels, tau);
    for (int ithe = args.ithe1; ithe <= args.ithe2; ++ithe) {
        // The grids hold the planes 0..180 only.
        if (ithe > last_plane) {
            textio::out_line(textio::free_line().text("weird ithe").integer(ithe).str());
            throw textio::stop_run{};
        }
        write_plane(s, args, ithe, progress);
    }
}

plane_cell_values evaluate_plane_cell(plane_stage& s, const run_args& args, int cell)
{
    const region_point p = s.region[static_cast<std::size_t>(s.source[static_cast<std::size_t>(cell)])];
    const int iphi = p.iphi, ichi = p.ichi;
    plane_cell_values v{};
    evaluate_group(setup_of(s, args), &iphi, &ichi, 1, s.scratch[0], &v.rho, &v.eng, &v.esq, s.path);
    return v;
}

plane_cell_values plane_cell(const plane_stage& s, int cell)
{
    const auto at = static_cast<std::size_t>(s.source[static_cast<std::size_t>(cell)]);
    return {s.rho[at], s.eng[at], s.esq[at]};
}

}  // namespace kelvane
