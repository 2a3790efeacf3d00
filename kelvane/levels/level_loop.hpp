// The level loop: the blocks of every J of a range filled, diagonalised and
// stored in the level set, the printed small blocks in order on the calling
// thread, the rest shared out over threads.
#pragma once

#include <cstddef>
#include <vector>

#include "kelvane/levels/level_blocks.hpp"
#include "kelvane/levels/rotlev.hpp"
#include "kelvane/run/run_args.hpp"
#include "process/process.hpp"

namespace kelvane {

// All storage of the loop: the level set of J = jlow..jmax (blocks below jlow
// empty), sized to the blocks' real orders (sum of n levels and, when vectors
// are kept, sum of n^2 components per parity), the solver's scratch for the
// printed blocks, and for each thread the scratch of the blocks it solves
// side by side.
struct level_storage {
    rotlev levels;
    int jlow = 0;
    block_work printed;
    std::vector<std::vector<block_work>> per_thread;
};

// The threads the loop uses out of `threads`: a second one pays only for a
// large basis.
int level_threads(int jmax, int threads);

// Takes (or counts) the storage; reserve_levels takes it and may throw
// std::bad_alloc, level_storage_bytes says how much it asks for.
void reserve_levels(routines::storage& s, level_storage& storage, int jlow, int jmax, bool vectors, int threads);
level_storage reserve_levels(int jlow, int jmax, bool vectors, int threads);
std::size_t level_storage_bytes(int jlow, int jmax, bool vectors, int threads);

// reserve_levels for a run, a failure to obtain the storage reported as a
// run_failure that says how much it needed.
level_storage reserve_run_levels(int jlow, const run_args& args, bool vectors, int threads);

// Fills the level set, printing the blocks of J <= 2 in order; the row
// counts of every block are checked before the first unprinted one is
// solved.  The blocks of larger J are shared out over the threads, each
// writing only its own J, so the stored values are those of one thread.
// Ends the run (stop "  FAIL") when a block does not converge, and (stop
// "wrong dimension") when a block's rows do not match its order, J < 0
// included.
void compute_levels(level_storage& storage, const run_args& args, const process::line_sink& out);

}  // namespace kelvane
