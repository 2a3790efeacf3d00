// The calculation of a kelvane run: levels of the whole basis, the cutoff
// test, the thermodynamic report, then the requested theta planes.
#pragma once

#include <cstddef>
#include <vector>

#include "kelvane/levels.hpp"
#include "kelvane/rotlev.hpp"
#include "kelvane/run_args.hpp"

namespace kelvane {

void rotcalc(const run_args& args);

// All storage of the level stage: the level set of J = 0..jmax, sized to the
// blocks' real orders (sum of n levels and, when vectors are kept, sum of n^2
// components per parity; without vectors vec and vec_start stay empty), the
// solver's scratch for the printed blocks, and for each thread the scratch of
// the blocks it solves side by side.
struct level_storage {
    rotlev levels;
    block_work printed;
    std::vector<std::vector<block_work>> per_thread;
};
level_storage reserve_levels(int jmax, bool vectors, int threads);
// The bytes reserve_levels asks for, which a failure to obtain them reports.
std::size_t level_storage_bytes(int jmax, bool vectors, int threads);

// Fills the level set, printing the blocks of J <= 2 in order; the blocks of
// larger J are shared out over the threads, each writing only its own J, so
// the stored values are those of one thread.  Stops ("  FAIL") when a block
// does not converge.
void compute_levels(level_storage& storage, const run_args& args);

// The level storage of a run (eigenvectors only when planes follow), with
// the level loop's thread count; a failed allocation ends the run (exit
// status 2) before anything is printed.
level_storage reserve_run_levels(const run_args& args, bool vectors);

// The level stage as the report shows it: the iodevn check, tau, the levels
// (blocks of J <= 2 printed), jmax, the cutoff test and the thermodynamic
// report, with the stops of each step.  Returns tau.
double level_stage(level_storage& storage, const run_args& args);

// The element a bubble sort of the merged list (even levels, then odd) would
// leave last: the highest level of the basis.
double highest_level(const rotlev& levels);

}  // namespace kelvane
