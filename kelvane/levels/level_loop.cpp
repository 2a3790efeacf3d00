#include "kelvane/levels/level_loop.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <new>
#include <string>

#include "routines/parallel.hpp"
#include "routines/storage.hpp"
#include "routines/tql.hpp"

namespace kelvane {

namespace {

int order_within(int j, int jlow, parity par) { return j < jlow ? 0 : make_block(j, par).n; }

void reserve_parity(routines::storage& s, block_levels& bl, int jlow, int jmax, parity par, bool vectors)
{
    std::int64_t levels = 0, components = 0;
    for (int j = 0; j <= jmax; ++j) {
        const std::int64_t n = order_within(j, jlow, par);
        levels += n;
        components += n * n;
    }
    s.take(bl.level_start, static_cast<std::size_t>(jmax) + 2);
    if (vectors) s.take(bl.vec_start, static_cast<std::size_t>(jmax) + 2);
    s.take(bl.level, static_cast<std::size_t>(levels));
    if (vectors) s.take(bl.vec, static_cast<std::size_t>(components));
    if (!s.takes()) return;
    for (int j = 0; j <= jmax; ++j) {
        const std::int64_t n = order_within(j, jlow, par);
        bl.level_start[j + 1] = bl.level_start[j] + n;
        if (vectors) bl.vec_start[j + 1] = bl.vec_start[j] + n * n;
    }
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

// Largest block order of the basis: jmax + 1.
int largest_order(int jmax) { return jmax + 1; }

// A task is both blocks of two neighbouring J, solved side by side.
constexpr int blocks_per_task = 4;
static_assert(blocks_per_task <= routines::max_ql_group);

// The first J whose blocks are not printed.
int first_quiet_j(int jlow) { return std::max(jlow, 3); }

}  // namespace

int level_threads(int jmax, int threads) { return jmax >= 64 ? std::clamp(threads, 1, 2) : 1; }

void reserve_levels(routines::storage& s, level_storage& storage, int jlow, int jmax, bool vectors, int threads)
{
    storage.levels.jmax = jmax;
    storage.jlow = jlow;
    reserve_parity(s, storage.levels.even, jlow, jmax, parity::even, vectors);
    reserve_parity(s, storage.levels.odd, jlow, jmax, parity::odd, vectors);
    reserve_block_work(s, storage.printed, largest_order(std::min(jmax, 2)), true);
    if (jmax <= 2) return;
    const auto groups = static_cast<std::size_t>(level_threads(jmax, threads));
    storage.per_thread.assign(groups, std::vector<block_work>(blocks_per_task));
    for (auto& group : storage.per_thread)
        for (block_work& work : group) reserve_block_work(s, work, largest_order(jmax), vectors);
}

level_storage reserve_levels(int jlow, int jmax, bool vectors, int threads)
{
    level_storage storage;
    routines::storage taking = routines::storage::taking();
    reserve_levels(taking, storage, jlow, jmax, vectors, threads);
    return storage;
}

std::size_t level_storage_bytes(int jlow, int jmax, bool vectors, int threads)
{
    level_storage storage;
    routines::storage counting = routines::storage::counting();
    reserve_levels(counting, storage, jlow, jmax, vectors, threads);
    return counting.bytes();
}

level_storage reserve_run_levels(int jlow, const run_args& args, bool vectors, int threads)
{
    try {
        return reserve_levels(jlow, args.jmax, vectors, threads);
    } catch (const std::bad_alloc&) {
        const std::size_t bytes = level_storage_bytes(jlow, args.jmax, vectors, threads);
        throw process::run_failure("cannot obtain the " + std::to_string(bytes / (1024 * 1024) + 1) +
                                  " MB (" + std::to_string(bytes) + " bytes) the level set needs at jmax = " +
                                  std::to_string(args.jmax));
    }
}

void compute_levels(level_storage& storage, const run_args& args, const process::line_sink& out)
{
    rotlev& levels = storage.levels;
    const bool vectors = !levels.even.vec_start.empty();
    const int jmax = levels.jmax;

    // The printed blocks, in order, by the literal dense route.  A J below 0
    // (sodrel's range at jmax = 0) fails its row check here.
    for (int j = storage.jlow; j <= std::min(jmax, 2); ++j) {
        for (const parity par : routines::both_parities) {
            if (par == parity::odd && j == 0) continue;
            const block b = make_block(j, par);
            check_block_rows(b, out);
            solve_block_dense(b, args, storage.printed, out);
            store(levels.of(par), b, storage.printed, vectors);
        }
    }
    const int jquiet = first_quiet_j(storage.jlow);
    if (jmax < jquiet) return;
    // The remaining blocks print nothing, so their row counts can all be
    // checked before any of them is solved.
    for (int j = jquiet; j <= jmax; ++j)
        for (const parity par : routines::both_parities) check_block_rows(make_block(j, par), out);

    // Blocks of different J share nothing but the read-only arguments.  Task
    // t holds J = jmax - 2t and the J below it; the largest J, which cost the
    // most, are handed out first.  Every block fills its own stretch of the
    // level set.
    const int tasks = (jmax - jquiet) / 2 + 1;
    routines::for_each_item(static_cast<int>(storage.per_thread.size()), tasks, [&](int worker, int task) {
        std::vector<block_work>& work = storage.per_thread[static_cast<std::size_t>(worker)];
        const int j = jmax - 2 * task;
        std::array<block, blocks_per_task> blocks;
        std::size_t count = 0;
        for (int jj = j; jj >= std::max(j - 1, jquiet); --jj)
            for (const parity par : routines::both_parities) blocks[count++] = make_block(jj, par);
        if (!solve_blocks_tridiagonal(std::span(blocks.data(), count), args, vectors, work))
            throw process::stop_run{"  FAIL"};
        for (std::size_t q = 0; q < count; ++q) store(levels.of(blocks[q].par), blocks[q], work[q], vectors);
    });
}

}  // namespace kelvane
