// The level stage shared by kelvane and sodrel: the time step, the K-parity
// blocks of one J filled from the matrix elements and diagonalised, the
// prints of the small blocks, and the test that the basis reaches far enough.
#pragma once

#include <span>
#include <vector>

#include "kelvane/run_args.hpp"

namespace kelvane {

inline constexpr double kboltz = 0.6950356;   // cm-1 per K

// 1 / (kboltz temp) and beta / nslice, in reciprocal cm-1.
double inverse_temperature(double temp);
double time_step(double beta, int nslice);

// Ends the run with the line "iodevn can only be -1 0 1" and a bare stop when
// iodevn names no block selection.
void check_iodevn(int iodevn);

// "tau=" and tau, F10.5.
void print_tau(double tau);

enum class parity { even, odd };

// One K-parity block of one J: K0 its first K, n its order, as the block
// layout gives them.
struct block {
    int j;
    parity par;
    int k0;
    int n;
};
block make_block(int j, parity par);

// Scratch of the solver for blocks up to order nmax; the matrix is held only
// when eigenvectors or the printed small blocks need it.
struct block_work {
    int nm = 0;
    std::vector<double> a;
    std::vector<double> d;
    std::vector<double> e;
};
block_work make_block_work(int nmax, bool matrix);

// The blocks of J <= 2 are printed before and after they are solved.
inline bool printed(int j) { return j <= 2; }

// Stops with "wrong dimension" when the basis states K0, K0 + 2, ..., J do not
// number the block's order (for the odd block the two counts are printed first).
void check_block_rows(const block& b);

// Fills the block densely from rotmat, prints it when J <= 2, solves it with
// tql and prints the levels and vectors when J <= 2.  On return
// w.d[0..n) holds the levels in ascending order and column i of w.a
// (leading dimension w.nm) the eigenvector of level i.
void solve_block_dense(const block& b, const run_args& args, block_work& w);

// The same levels, bit for bit, from the tridiagonal form the blocks already
// have (K couples only to K +- 2, its neighbours in a block): the reduction
// would leave such a matrix untouched, so the QL stage starts from the
// diagonal and subdiagonal directly.  Up to routines::max_ql_group blocks are
// solved side by side, block k in work[k]; with vectors, work[k].a starts as
// the identity the reduction would have produced.  Returns false when a QL
// iteration does not converge.  Prints nothing.
bool solve_blocks_tridiagonal(std::span<const block> blocks, const run_args& args, bool vectors,
                              std::span<block_work> work);

// "jmax=" and jmax, free format.
void print_jmax(int jmax);

// The cutoff test on the highest level of the basis: the Boltzmann factors
// exp(-beta emax) and exp(-tau emax) are printed and must not exceed 1e-8,
// else the run stops with "too large contribution from emax".
void cutoff_test(double emax, double beta, double tau);

}  // namespace kelvane
