#include "kelvane/planes.hpp"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "kelvane/density.hpp"
#include "kelvane/plane_files.hpp"
#include "textio/textio.hpp"
#include "routines/wigd.hpp"

namespace kelvane {

// Storage of the density stage, obtained once on entry to rotcalc: the plane
// in work (the evaluated eighth and its text), the Wigner values of the plane
// in work, the level plans, and per-worker cosines.  Nothing grows with the
// number of planes.
class plane_stage {
public:
    int threads = 1;
    simd_path path = simd_path::baseline;
    int jmax = 0;

    std::vector<double> lnf;
    std::vector<__float128> cos_pow, nsin_pow;
    plane_wigner wig;
    // The angle-independent factors of the Wigner series, kept for the run
    // when they fit factor_cap bytes: block (J, parity) starts at
    // factor_start[2 J + parity].
    std::vector<__float128> factors;
    std::vector<std::int64_t> factor_start;
    bool factors_ready = false;
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

// KELVANE_THREADS, or the hardware's thread count.
int thread_count()
{
    const char* v = std::getenv("KELVANE_THREADS");
    if (!v || !*v) {
        const unsigned hw = std::thread::hardware_concurrency();
        return hw == 0 ? 1 : static_cast<int>(std::min(hw, 256u));
    }
    const auto n = textio::parse_int(v);
    if (!n || *n < 1 || *n > 256)
        textio::io_failure(std::string("kelvane: KELVANE_THREADS must be a whole number from 1 to 256, not \"")
                           + v + "\"");
    return static_cast<int>(*n);
}

// Runs work(worker) on `threads` workers, the calling thread being worker 0.
// A thread that cannot be started leaves its share to the others.
template <class Work>
void run_workers(int threads, Work&& work)
{
    std::vector<std::thread> pool;
    for (int w = 1; w < threads; ++w) {
        try {
            pool.emplace_back(work, w);
        } catch (const std::system_error&) {
            break;
        }
    }
    work(0);
    for (auto& t : pool) t.join();
}

// Beyond this the factors are made afresh for every plane.  Their number
// grows like jmax^4: some 8 MB at jmax = 40, the cap near jmax = 80.
constexpr std::size_t factor_cap = std::size_t{128} << 20;

// The starts of the kept factors of every block, or nothing when they would
// take more than factor_cap.
std::vector<std::int64_t> factor_layout(int jmax)
{
    if (jmax > 100) return {};
    std::vector<std::int64_t> start{0};
    for (int j = 0; j <= jmax; ++j)
        for (bool odd : {false, true}) start.push_back(start.back() + block_factor_count(j, odd));
    if (static_cast<std::size_t>(start.back()) * sizeof(__float128) > factor_cap) return {};
    return start;
}

std::size_t stage_bytes(int jmax, int threads)
{
    const auto dj = static_cast<std::size_t>(jmax);
    std::size_t b = 0;
    b += routines::wigd_lnf_size(jmax) * sizeof(double) + 2 * routines::wigd_pow_size(jmax) * sizeof(__float128);
    b += plane_wigner_bytes(jmax);
    b += 2 * ((dj + 1) * (dj + 1) * sizeof(planned_level) + (dj + 2) * sizeof(std::int32_t));
    b += region_points * (sizeof(region_point) + 3 * sizeof(double) + point_text_width);
    b += plane_cells * sizeof(std::int32_t);
    b += static_cast<std::size_t>(threads) * group_scratch_size(jmax) * sizeof(double);
    b += plane_cells * (64 + 3 * 16) + 128;
    return b;
}

}  // namespace

plane_stage_ptr reserve_plane_stage(const run_args& args)
{
    if (args.ithe1 > args.ithe2) return nullptr;
    const int threads = thread_count();
    std::vector<std::int64_t> layout = factor_layout(args.jmax);
    const std::size_t bytes = stage_bytes(args.jmax, threads)
                              + (layout.empty() ? 0 : static_cast<std::size_t>(layout.back()) * sizeof(__float128));
    plane_stage_ptr s;
    try {
        s.reset(new plane_stage);
        s->threads = threads;
        s->path = best_simd_path();
        s->jmax = args.jmax;
        s->lnf.resize(routines::wigd_lnf_size(args.jmax));
        s->cos_pow.resize(routines::wigd_pow_size(args.jmax));
        s->nsin_pow.resize(routines::wigd_pow_size(args.jmax));
        reserve_plane_wigner(s->wig, args.jmax);
        if (!layout.empty()) {
            s->factors.resize(static_cast<std::size_t>(layout.back()));
            s->factor_start = std::move(layout);
        }
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
        textio::io_failure("kelvane: cannot obtain the " + std::to_string(bytes / (1024 * 1024) + 1)
                           + " MB (" + std::to_string(bytes) + " bytes) the density planes need at jmax = "
                           + std::to_string(args.jmax));
    }
    list_region(s->region);
    fill_cell_sources(s->source);
    return s;
}

// The Wigner values the plan reads at theta = ithe degrees: the series of the
// blocks shared out over the workers, the largest first, then the recursion
// for what the series cannot be trusted with, on this thread.
void fill_plane_wigner(plane_stage& s, int ithe)
{
    const int jtop = std::max(s.even_plan.jtop, s.odd_plan.jtop);
    if (jtop < 0) return;
    const double theta = grid_angle(ithe);
    routines::fill_wigd_powers(jtop, theta, s.cos_pow, s.nsin_pow);
    const routines::wigd_tables tables{s.lnf, s.cos_pow, s.nsin_pow};
    const routines::wigd_screen screen = routines::wigd_screen_of(theta);
    std::fill(s.wig.marked.begin(), s.wig.marked.end(), 0);
    const bool kept = !s.factor_start.empty();
    auto factors_of = [&](int j, bool odd) {
        return s.factors.data() + s.factor_start[static_cast<std::size_t>(2 * j + (odd ? 1 : 0))];
    };
    const bool make_factors = kept && !s.factors_ready;
    const int per_parity = jtop + 1;
    std::atomic<int> next{0};
    run_workers(s.threads, [&](int) {
        for (;;) {
            const int item = next.fetch_add(1);
            if (item >= 2 * per_parity) return;
            const int j = jtop - item / 2;
            const bool odd = item % 2 == 1;
            if (j > (odd ? s.odd_plan.jtop : s.even_plan.jtop)) continue;
            if (kept && make_factors) fill_block_factors(s.lnf, j, odd, factors_of(j, odd));
            fill_trusted_wigner_block(s.wig, tables, screen, j, odd, kept ? factors_of(j, odd) : nullptr);
        }
    });
    s.factors_ready = kept;
    fill_marked_from_recursion(s.wig, theta);
}

namespace {

density_setup setup_of(const plane_stage& s, const run_args& args)
{
    return {args.iodevn, s.jmax, args.iodevn == 1 ? nullptr : &s.even_plan,
            args.iodevn == 0 ? nullptr : &s.odd_plan, s.wig.even.data(), s.wig.odd.data()};
}

// The reduced region of plane ithe, group by group over the workers, with
// the progress line of every row printed, in order, before any of its points
// is evaluated; each point's values are formatted once, by its worker.
void evaluate_plane(plane_stage& s, const run_args& args)
{
    const density_setup setup = setup_of(s, args);
    const int groups = (region_points + group_width - 1) / group_width;
    std::mutex dispatch;
    int next_group = 0;
    int rows_announced = 0;
    run_workers(s.threads, [&](int worker) {
        std::string field;
        field.reserve(2 * value_text_width);
        int iphi[group_width], ichi[group_width];
        for (;;) {
            int g;
            {
                std::lock_guard<std::mutex> lock(dispatch);
                if (next_group >= groups) return;
                g = next_group++;
                const int last = std::min(region_points, (g + 1) * group_width) - 1;
                for (; rows_announced <= s.region[static_cast<std::size_t>(last)].iphi; ++rows_announced)
                    textio::out_line(textio::free_line().integer(rows_announced).str());
            }
            const int first = g * group_width;
            const int count = std::min(group_width, region_points - first);
            for (int l = 0; l < count; ++l) {
                iphi[l] = s.region[static_cast<std::size_t>(first + l)].iphi;
                ichi[l] = s.region[static_cast<std::size_t>(first + l)].ichi;
            }
            evaluate_group(setup, iphi, ichi, count, s.scratch[static_cast<std::size_t>(worker)],
                           &s.rho[static_cast<std::size_t>(first)], &s.eng[static_cast<std::size_t>(first)],
                           &s.esq[static_cast<std::size_t>(first)], s.path);
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
    });
}

}  // namespace

void compute_plane(plane_stage& s, const run_args& args, int ithe)
{
    fill_plane_wigner(s, ithe);
    evaluate_plane(s, args);
}

void write_plane_files(plane_stage& s, plane_files& files, int ithe)
{
    format_plane_records(ithe, s.source, s.point_text, s.buffers);
    for (int k = 0; k < 4; ++k) write_plane_text(files, k, s.buffers[k]);
    close_plane_files(files);
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

void plan_levels(plane_stage& s, const run_args& args, const rotlev& levels, double tau)
{
    routines::fill_wigd_lnf(s.jmax, s.lnf);
    s.factors_ready = false;
    if (args.iodevn != 1) make_block_plan(s.even_plan, levels.even, false, s.jmax, tau);
    if (args.iodevn != 0) make_block_plan(s.odd_plan, levels.odd, true, s.jmax, tau);
}

void run_planes(plane_stage& s, const run_args& args, const rotlev& levels, double tau)
{
    plan_levels(s, args, levels, tau);
    for (int ithe = args.ithe1; ithe <= args.ithe2; ++ithe) {
        // The grids hold the planes 0..180 only.
        if (ithe > 180) {
            textio::out_line(textio::free_line().text("weird ithe").integer(ithe).str());
            textio::stop();
        }
        plane_files files;
        textio::out_line(plane_file_name(ithe));
        open_plane_files(files, ithe);
        if (ithe == 0) write_plane_text(files, 0, plane_header(args));
        compute_plane(s, args, ithe);
        write_plane_files(s, files, ithe);
    }
}

}  // namespace kelvane
