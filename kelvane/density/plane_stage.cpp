#include "kelvane/density/plane_stage.hpp"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "kelvane/density/block_combination.hpp"
#include "kelvane/density/density_kernel.hpp"
#include "kelvane/density/density_series.hpp"
#include "kelvane/density/euler_grid.hpp"
#include "kelvane/density/level_plan.hpp"
#include "kelvane/density/plane_files.hpp"
#include "routines/parallel.hpp"
#include "routines/wigner_plane.hpp"
#include "process/process.hpp"
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
    plane_evaluation evaluation = plane_evaluation::term_by_term;
    series_run series;                    // the Fourier series' tables, when it evaluates
    series_plane series_tables;

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

// Work items of the series steps: rows of F and groups of columns of both
// blocks, and the point groups in runs of this many.
constexpr int series_groups_per_item = 16;
constexpr int formatting_points_per_item = 1024;

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
        s->evaluation = args.evaluation;
        if (s->evaluation == plane_evaluation::fourier_series) reserve_series(s->series, s->series_tables, args.jmax);
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
        const std::size_t bytes = stage_bytes(args.jmax, threads) +
                                  (args.evaluation == plane_evaluation::fourier_series ? series_bytes(args.jmax) : 0);
        throw process::run_failure("cannot obtain the " + std::to_string(bytes / (1024 * 1024) + 1) +
                                  " MB (" + std::to_string(bytes) + " bytes) the density planes need at jmax = " +
                                  std::to_string(args.jmax));
    }
    list_region(s->region);
    fill_cell_sources(s->source);
    return s;
}

void plan_levels(plane_stage& s, const run_args& args, const rotlev& levels, double tau)
{
    const bool even = args.iodevn != 1, odd = args.iodevn != 0;
    if (even) make_block_plan(s.even_plan, levels, parity::even, tau);
    if (odd) make_block_plan(s.odd_plan, levels, parity::odd, tau);
    if (s.evaluation != plane_evaluation::fourier_series) return;

    // The series' run-wide tables: cos and sin of K x for every grid angle,
    // and the level coefficients of every J, each item on any worker.
    series_run& run = s.series;
    run.has_even = even;
    run.has_odd = odd;
    reserve_series_angles(run.angles, std::max(even ? s.even_plan.jtop : -1, odd ? s.odd_plan.jtop : -1));
    if (even) begin_series_coefficients(run.even, s.even_plan);
    if (odd) begin_series_coefficients(run.odd, s.odd_plan);
    const int js = s.jmax + 1;
    routines::for_each_item(s.threads, series_angles + 2 * js, [&](int, int item) {
        if (item < series_angles) return fill_series_angles(run.angles, item, item + 1);
        const int j = s.jmax - (item - series_angles) / 2;   // the largest J first
        if ((item - series_angles) % 2 == 0) {
            if (even) fill_series_coefficients(run.even, s.even_plan, j, j + 1);
        } else if (odd) {
            fill_series_coefficients(run.odd, s.odd_plan, j, j + 1);
        }
    });
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

// The three values of the points first .. first + count - 1 as they are
// printed, each point's once.
void format_points(plane_stage& s, int first, int count)
{
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
        format_points(s, first, count);
    });
}

// The plane by its Fourier series: F and the C and S columns of each block,
// then every point, each step shared over the workers.  The points are taken
// column band by column band, so every row is announced before the first.
void evaluate_series(plane_stage& s, const run_args& args, plane_progress& progress)
{
    series_run& run = s.series;
    const bool even = args.iodevn != 1, odd = args.iodevn != 0;
    series_plane_block* blocks[2] = {even ? &s.series_tables.even : nullptr, odd ? &s.series_tables.odd : nullptr};
    const series_coefficients* coefficients[2] = {&run.even, &run.odd};
    for (int b = 0; b < 2; ++b)
        if (blocks[b]) begin_series_plane(*blocks[b], *coefficients[b]);
    const int even_rows = even ? blocks[0]->k.rows : 0, odd_rows = odd ? blocks[1]->k.rows : 0;
    routines::for_each_item(s.threads, even_rows + odd_rows, [&](int, int r) {
        const int b = r < even_rows ? 0 : 1;
        const int row = b == 0 ? r : r - even_rows;
        fold_series_rows(*blocks[b], *coefficients[b], s.wig.block(0, b == 0 ? parity::even : parity::odd), row,
                         row + 1);
    });
    routines::for_each_item(s.threads, 2 * series_column_groups, [&](int, int item) {
        series_plane_block* block = blocks[item / series_column_groups];
        const int group = item % series_column_groups;
        if (block) fill_series_columns(*block, run.angles, group, group + 1, s.path);
    });
    for (int iphi = 0; iphi < plane_side; ++iphi) progress.row_started(iphi);
    const series_setup setup{args.iodevn, blocks[0], blocks[1], &run.angles};
    const int groups = static_cast<int>(run.groups.size());
    routines::for_each_item(s.threads, (groups + series_groups_per_item - 1) / series_groups_per_item,
                            [&](int, int item) {
                                const int first = item * series_groups_per_item;
                                const int count = std::min(series_groups_per_item, groups - first);
                                finish_series_groups(setup, std::span(run.groups).subspan(first, count),
                                                     s.rho.data(), s.eng.data(), s.esq.data(), nullptr, nullptr,
                                                     s.path);
                            });
    routines::for_each_item(s.threads, (region_points + formatting_points_per_item - 1) / formatting_points_per_item,
                            [&](int, int item) {
                                const int first = item * formatting_points_per_item;
                                format_points(s, first, std::min(formatting_points_per_item, region_points - first));
                            });
}

}  // namespace

void compute_plane(plane_stage& s, const run_args& args, int ithe, plane_progress& progress)
{
    fill_plane_wigner(s, ithe);
    if (s.evaluation == plane_evaluation::fourier_series)
        evaluate_series(s, args, progress);
    else
        evaluate_plane(s, args, progress);
}

void write_plane(plane_stage& s, const run_args& args, int ithe, plane_progress& progress)
{
    progress.plane_started(ithe);
    plane_files files;
    open_plane_files(files, ithe);
    if (ithe == 0) write_plane_text(files, 0, plane_header(args));
    compute_plane(s, args, ithe, progress);
    // The records by rows, then the four files, each step over the workers:
    // the copying of a plane's 15 MB into the files is kernel work that two
    // threads share as well as the arithmetic.
    size_plane_records(s.buffers);
    constexpr int rows_per_item = 19;
    routines::for_each_item(s.threads, (plane_side + rows_per_item - 1) / rows_per_item, [&](int, int item) {
        const int first = item * rows_per_item;
        format_plane_rows(ithe, first, std::min(first + rows_per_item, plane_side) - 1, s.source, s.point_text,
                          s.buffers);
    });
    routines::for_each_item(s.threads, 4, [&](int, int k) { write_plane_text(files, k, s.buffers[k]); });
    close_plane_files(files);
    progress.plane_written(ithe);
}

void run_planes(plane_stage& s, const run_args& args, const rotlev& levels, double tau, plane_progress& progress)
{
    plan_levels(s, args, levels, tau);
    for (int ithe = args.ithe1; ithe <= args.ithe2; ++ithe) {
        // The grids hold the planes 0..180 only.
        if (ithe > last_plane) {
            process::out_line(textio::free_line().text("weird ithe").integer(ithe).str());
            throw process::stop_run{};
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
