// The level set of a run: energies and eigenvectors of the even-K and odd-K
// blocks of every J from 0 to jmax, as the level stage leaves them and the
// density stage reads them.
#pragma once

#include <cstdint>
#include <vector>

#include "routines/parity_blocks.hpp"

namespace kelvane {

using routines::parity;

// One parity's half of the level set.  For J the block has order n(J); its
// levels are level[level_start[J] .. level_start[J] + n) in ascending order,
// and its eigenvectors vec[vec_start[J] + i*n + k], vector i (of level i),
// component k (of K = first K + 2k).  level_start and vec_start have jmax + 2
// entries, the last one being the total; vec_start is empty when the set
// holds no vectors.  A set that covers only J >= jlow (the cut-down stage of
// sodrel) has empty blocks below it.
struct block_levels {
    std::vector<double> level;
    std::vector<double> vec;
    std::vector<std::int64_t> level_start;
    std::vector<std::int64_t> vec_start;

    const double* levels_of(int j) const { return level.data() + level_start[static_cast<std::size_t>(j)]; }
    // Eigenvector i of block J, n components.
    const double* vector_of(int j, int i, int n) const
    {
        return vec.data() + vec_start[static_cast<std::size_t>(j)] + static_cast<std::int64_t>(i) * n;
    }
};

struct rotlev {
    int jmax = 0;
    block_levels even;   // evlev, evvec
    block_levels odd;    // odlev, odvec

    const block_levels& of(parity p) const { return p == parity::even ? even : odd; }
    block_levels& of(parity p) { return p == parity::even ? even : odd; }
};

}  // namespace kelvane
