// One K-parity block of one J: filled from the matrix elements, diagonalised,
// and, for the small blocks of J <= 2, printed before and after.
#pragma once

#include <span>
#include <vector>

#include "kelvane/run/run_args.hpp"
#include "routines/parity_blocks.hpp"
#include "routines/storage.hpp"
#include "process/process.hpp"

namespace kelvane {

using routines::parity;

// A block: K0 its first K, n its order.
struct block {
    int j;
    parity par;
    int k0;
    int n;
};
inline block make_block(int j, parity par)
{
    return {j, par, routines::block_first_k(j, par), routines::block_order(j, par)};
}

// Scratch of the solver for blocks up to order nmax; the matrix is held only
// when eigenvectors or the printed small blocks need it.
struct block_work {
    int nm = 0;
    std::vector<double> a;
    std::vector<double> d;
    std::vector<double> e;
};
void reserve_block_work(routines::storage& s, block_work& w, int nmax, bool matrix);

// The blocks of J <= 2 are printed before and after they are solved.
inline bool printed(int j) { return j <= 2; }

// Ends the run (stop "wrong dimension") when the basis states K0, K0 + 2,
// ..., J do not number the block's order; for the odd block the two counts
// are printed first.
void check_block_rows(const block& b, const process::line_sink& out);

// Fills the block densely from rotmat, prints it when J <= 2, solves it with
// tql and prints the levels and vectors when J <= 2.  On return w.d[0..n)
// holds the levels in ascending order and column i of w.a (leading
// dimension w.nm) the eigenvector of level i.  A block that does not
// converge ends the run (stop "  FAIL").
void solve_block_dense(const block& b, const run_args& args, block_work& w, const process::line_sink& out);

// The same levels, bit for bit, from the tridiagonal form the blocks already
// have (K couples only to K +- 2, its neighbours in a block): the reduction
// would leave such a matrix untouched, so the QL stage starts from the
// diagonal and subdiagonal directly.  Up to routines::max_ql_group blocks are
// solved side by side, block k in work[k]; with vectors, work[k].a starts as
// the identity the reduction would have produced.  Returns false when a QL
// iteration does not converge.  Prints nothing.
bool solve_blocks_tridiagonal(std::span<const block> blocks, const run_args& args, bool vectors,
                              std::span<block_work> work);

}  // namespace kelvane
