// The level set of a run: energies and eigenvectors of the even-K and odd-K
// blocks of every J from 0 to jmax, as the level stage leaves them and the
// density stage reads them.
#pragma once

#include <cstdint>
#include <vector>

namespace kelvane {

// Block layout. The asymmetric-top Hamiltonian couples K only to K and K +- 2,
// so the |J K> states of one J split into an even-K and an odd-K block; row i
// (0-based) of a block belongs to K = first K + 2 i.
inline int even_first_k(int j) { return j % 2 == 0 ? -j : 1 - j; }
inline int even_order(int j) { return j % 2 == 0 ? j + 1 : j; }
inline int odd_first_k(int j) { return j % 2 == 0 ? 1 - j : -j; }
inline int odd_order(int j) { return j % 2 == 0 ? j : j + 1; }

// One parity's half of the level set.  For J the block has order n(J); its
// levels are level[level_start[J] .. level_start[J] + n) in ascending order,
// and its eigenvectors vec[vec_start[J] + i*n + k], vector i (of level i),
// component k (of K = first K + 2k).  level_start and vec_start have jmax + 2
// entries, the last one being the total.
struct block_levels {
    std::vector<double> level;
    std::vector<double> vec;
    std::vector<std::int64_t> level_start;
    std::vector<std::int64_t> vec_start;
};

struct rotlev {
    int jmax = 0;
    block_levels even;   // evlev, evvec
    block_levels odd;    // odlev, odvec
};

}  // namespace kelvane
