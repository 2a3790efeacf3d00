#include "kelvane/rotcalc.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <new>
#include <string>
#include <system_error>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include "kelvane/levels.hpp"
#include "kelvane/planes.hpp"
#include "textio/textio.hpp"
#include "routines/tql.hpp"

namespace kelvane {

namespace {

void reserve_parity(block_levels& bl, int jmax, parity par, bool vectors)
{
    bl.level_start.assign(jmax + 2, 0);
    if (vectors) bl.vec_start.assign(jmax + 2, 0);
    for (int j = 0; j <= jmax; ++j) {
        const std::int64_t n = make_block(j, par).n;
        bl.level_start[j + 1] = bl.level_start[j] + n;
        if (vectors) bl.vec_start[j + 1] = bl.vec_start[j] + n * n;
    }
    bl.level.assign(bl.level_start[jmax + 1], 0.0);
    if (vectors) bl.vec.assign(bl.vec_start[jmax + 1], 0.0);
}

void store(block_levels& bl, const block& b, const block_work& w, bool vectors)
{
    std::copy_n(w.d.begin(), b.n, bl.level.begin() + bl.level_start[b.j]);
    if (!vectors) return;
    // Vector after vector: column i of the solver's matrix, rows 0..n-1.
    double* out = bl.vec.data() + bl.vec_start[b.j];
    for (int i = 0; i < b.n; ++i)
        for (int k = 0; k < b.n; ++k) *out++ = w.a[k + static_cast<std::size_t>(i) * w.nm];
}

block_levels& half(rotlev& levels, parity par) { return par == parity::even ? levels.even : levels.odd; }

// Largest block order of the basis: jmax + 1.
int largest_order(int jmax) { return jmax + 1; }

constexpr int blocks_per_task = 4;
static_assert(blocks_per_task <= routines::max_ql_group);

struct block_sums {
    double z = 0, s1 = 0, s2 = 0;
};

// Sums of exp(-step E), E exp(-step E) and E^2 exp(-step E) over the levels
// of both parities, each J weighted by its 2J + 1 space-fixed projections.
void boltzmann_sums(const rotlev& levels, double step, block_sums& even, block_sums& odd)
{
    for (int j = 0; j <= levels.jmax; ++j) {
        const double g = 2 * j + 1;
        for (auto [bl, total] : {std::pair{&levels.even, &even}, std::pair{&levels.odd, &odd}}) {
            double z = 0, s1 = 0, s2 = 0;
            for (std::int64_t i = bl->level_start[j]; i < bl->level_start[j + 1]; ++i) {
                const double e = bl->level[i];
                const double w = std::exp(-step * e);
                z = z + w;
                s1 = s1 + e * w;
                s2 = s2 + e * e * w;
            }
            total->z = total->z + g * z;
            total->s1 = total->s1 + g * s1;
            total->s2 = total->s2 + g * s2;
        }
    }
}

void put_text_f12(std::string& line, std::string_view text, double v)
{
    line += text;
    textio::put_f(line, v, 12, 6);
}

std::string energy_line(std::string_view label, double z, double e)
{
    std::string line(label);
    put_text_f12(line, "    Z=", z);
    put_text_f12(line, " E=", e);
    line += " CM-1";
    put_text_f12(line, " E=", e / kboltz);
    line += " K";
    return line;
}

void report(const rotlev& levels, const run_args& args, double beta, double tau)
{
    // kboltz^2, the factor that turns the energy variance into a heat
    // capacity in units of kB.
    constexpr double kboltz_squared = 0.48307448526735997;

    block_sums even, odd;
    boltzmann_sums(levels, beta, even, odd);
    textio::out_line("");
    textio::out_line("AT BETA");
    for (auto [label, s] : {std::pair{"EVEN K:", &even}, std::pair{"ODD  K:", &odd}}) {
        const double e = s->s1 / s->z;
        const double cv = (s->s2 / s->z - e * e) / (kboltz_squared * args.temp * args.temp);
        std::string line = energy_line(label, s->z, e);
        put_text_f12(line, " Cv=", cv);
        line += " Kb";
        textio::out_line(line);
    }

    block_sums even_tau, odd_tau;
    boltzmann_sums(levels, tau, even_tau, odd_tau);
    textio::out_line("");
    textio::out_line("AT TAU");
    textio::out_line(energy_line("EVEN K:", even_tau.z, even_tau.s1 / even_tau.z));
    textio::out_line(energy_line("ODD  K:", odd_tau.z, odd_tau.s1 / odd_tau.z));

    // The sums at tau over the whole basis; the label is the report's own,
    // no classical formula is involved.
    const double z = even_tau.z + odd_tau.z;
    const double e = (even_tau.s1 + odd_tau.s1) / z;
    std::string line = "maxj =  ";
    textio::put_i(line, args.jmax, 4);
    line += "  CLASSICAL: Z=";
    textio::put_f(line, z, 16, 6);
    put_text_f12(line, " E=", e);
    line += " CM-1";
    put_text_f12(line, " E=", e / kboltz);
    line += " K";
    textio::out_line(line);
}

}  // namespace

std::size_t level_storage_bytes(int jmax, bool vectors, int threads)
{
    std::size_t values = 0;
    for (int j = 0; j <= jmax; ++j)
        for (const parity par : {parity::even, parity::odd}) {
            const auto n = static_cast<std::size_t>(make_block(j, par).n);
            values += n + (vectors ? n * n : 0);
        }
    const auto order = static_cast<std::size_t>(largest_order(jmax));
    const std::size_t work = (vectors ? order * order : 0) + 2 * order;
    if (jmax > 2) values += static_cast<std::size_t>(threads) * blocks_per_task * work;
    return values * sizeof(double);
}

level_storage reserve_levels(int jmax, bool vectors, int threads)
{
    level_storage s;
    s.levels.jmax = jmax;
    reserve_parity(s.levels.even, jmax, parity::even, vectors);
    reserve_parity(s.levels.odd, jmax, parity::odd, vectors);
    s.printed = make_block_work(largest_order(std::min(jmax, 2)), true);
    if (jmax > 2) {
        s.per_thread.resize(threads);
        for (auto& group : s.per_thread)
            for (int k = 0; k < blocks_per_task; ++k) group.push_back(make_block_work(largest_order(jmax), vectors));
    }
    return s;
}

void compute_levels(level_storage& storage, const run_args& args)
{
    rotlev& levels = storage.levels;
    const bool vectors = !levels.even.vec_start.empty();
    const int jmax = levels.jmax;

    // The printed blocks, in order, by the literal dense route.
    for (int j = 0; j <= std::min(jmax, 2); ++j) {
        for (const parity par : {parity::even, parity::odd}) {
            if (par == parity::odd && j == 0) continue;
            const block b = make_block(j, par);
            check_block_rows(b);
            solve_block_dense(b, args, storage.printed);
            store(half(levels, par), b, storage.printed, vectors);
        }
    }
    if (jmax <= 2) return;
    // The remaining blocks print nothing, so their row counts can all be
    // checked before any of them is solved.
    for (int j = 3; j <= jmax; ++j)
        for (const parity par : {parity::even, parity::odd}) check_block_rows(make_block(j, par));

    // Blocks of different J share nothing but the read-only arguments.  A
    // task is both blocks of two neighbouring J, solved side by side; the
    // largest J are handed out first, as they cost the most.  Every block
    // fills its own stretch of the level set.
    std::atomic<int> next{jmax};
    std::atomic<bool> failed{false};
    auto worker = [&](std::vector<block_work>& work) {
        for (int j = next.fetch_sub(2); j >= 3; j = next.fetch_sub(2)) {
            std::array<block, blocks_per_task> blocks;
            std::size_t count = 0;
            for (int jj = j; jj >= std::max(j - 1, 3); --jj)
                for (const parity par : {parity::even, parity::odd}) blocks[count++] = make_block(jj, par);
            if (!solve_blocks_tridiagonal(std::span(blocks.data(), count), args, vectors, work)) {
                failed = true;
                return;
            }
            for (std::size_t q = 0; q < count; ++q)
                store(half(levels, blocks[q].par), blocks[q], work[q], vectors);
        }
    };
    // The calling thread works with the first group of storage.  A thread
    // that cannot be started (no room for its stack under a memory limit)
    // leaves its tasks to the others: the levels do not depend on who solves
    // a block.
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < storage.per_thread.size(); ++t) {
        try {
            pool.emplace_back(worker, std::ref(storage.per_thread[t]));
        } catch (const std::system_error&) {
            break;
        }
    }
    worker(storage.per_thread[0]);
    for (auto& t : pool) t.join();
    // Nothing is printed for these blocks, so ending here says what a run on
    // one thread would have said.
    if (failed) textio::stop("  FAIL");
}

double highest_level(const rotlev& levels)
{
    double carried = levels.even.level.front();
    for (std::size_t i = 1; i < levels.even.level.size(); ++i)
        carried = routines::sort_carry(carried, levels.even.level[i]);
    for (const double e : levels.odd.level) carried = routines::sort_carry(carried, e);
    return carried;
}

level_storage reserve_run_levels(const run_args& args, bool vectors)
{
    // The level loop is worth a second thread only for a large basis.
    const int threads = args.jmax >= 64 && std::thread::hardware_concurrency() >= 2 ? 2 : 1;
    try {
        return reserve_levels(args.jmax, vectors, threads);
    } catch (const std::bad_alloc&) {
        const std::size_t bytes = level_storage_bytes(args.jmax, vectors, threads);
        textio::io_failure("kelvane: cannot obtain the " + std::to_string(bytes / (1024 * 1024) + 1) + " MB (" +
                           std::to_string(bytes) + " bytes) the level set needs at jmax = " +
                           std::to_string(args.jmax));
    }
}

double level_stage(level_storage& storage, const run_args& args)
{
    check_iodevn(args.iodevn);
    const double beta = inverse_temperature(args.temp);
    const double tau = time_step(beta, args.nslice);
    print_tau(tau);

    compute_levels(storage, args);

    print_jmax(args.jmax);
    cutoff_test(highest_level(storage.levels), beta, tau);
    report(storage.levels, args, beta, tau);
    return tau;
}

void rotcalc(const run_args& args)
{
    plane_stage_ptr stage = reserve_plane_stage(args);
    level_storage storage = reserve_run_levels(args, stage != nullptr);
    const double tau = level_stage(storage, args);
    if (stage) run_planes(*stage, args, storage.levels, tau);
}

}  // namespace kelvane
