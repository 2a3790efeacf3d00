// Eigenvalues and eigenvectors of a real symmetric matrix: Householder
// reduction to tridiagonal form (tred2) and the QL algorithm with implicit
// shifts (tql), after the Handbook procedures tred2 and tql2, with a skip
// tolerance of 1e-20, a relative precision of 1e-12 and at most 50 sweeps per
// eigenvalue.  Matrices are stored column by column with leading dimension nm:
// element (i, k), 1-based, lies at a[(i - 1) + (k - 1) nm].
#pragma once

#include <span>

namespace routines {

// Reads the lower triangle of the symmetric matrix in rows and columns 1..n
// of a and leaves there the orthogonal Q with Q^T A Q = T; d receives the
// diagonal of T and e(i) = T(i, i-1), e(1) = 0.
void tred2(int nm, int n, double* a, double* d, double* e);

// All eigenpairs of the symmetric matrix in a (lower triangle read): d the
// eigenvalues in ascending order, column k of a the eigenvector of d(k).
// False when an eigenvalue has not converged after 50 sweeps; the caller
// decides how the run ends ("  FAIL").
[[nodiscard]] bool tql(int nm, int n, double* a, double* d, double* e);

// The QL stage of tql on its own, for a matrix that is already tridiagonal:
// d holds the diagonal and e(i) = T(i, i-1) with e(1) = 0, exactly as tred2
// leaves them.  z holds (and receives) the accumulated transformation in the
// layout of tql, or is null when no eigenvector is wanted.  The rotations that
// build the vectors never feed back into d or e, so the eigenvalues and their
// order are the same bit for bit with or without z.  Returns false when an
// eigenvalue has not converged after 50 sweeps.
bool tql_tridiagonal(int nm, int n, double* z, double* d, double* e);

// One tridiagonal problem for tql_tridiagonal_group: the arguments of
// tql_tridiagonal, and on return whether it converged.
struct ql_problem {
    int nm = 0;
    int n = 0;
    double* z = nullptr;
    double* d = nullptr;
    double* e = nullptr;
    bool converged = false;
};

// tql_tridiagonal on up to max_ql_group independent matrices at once,
// interleaving their rotations to use the time one alone spends waiting on
// divisions and square roots; each result is bit for bit that of
// tql_tridiagonal.
inline constexpr int max_ql_group = 4;
void tql_tridiagonal_group(std::span<ql_problem> problems);

// Ascending sort, exchanging neighbours only when strictly out of order and
// ending at the first pass without an exchange.
void bubble_sort(double* a, int n);

// One step of finding the element bubble_sort would leave last in one pass,
// for lists held in pieces: carried over the elements in order, starting
// from the first, it gives that very double, NaN and signed zero included.
// The sort's first pass carries forward the larger of each pair it compares
// (the later one unless the earlier is strictly greater), and later passes
// never reach the last position.
inline double sort_carry(double carried, double next) { return carried > next ? carried : next; }

}  // namespace routines
