// The Wigner tables of one theta plane: for each K parity and each J, the
// n x n matrix d^J_{K1 K2}(theta) with K1, K2 in the block (K = K0 + 2k),
// entry [block_offset(J, parity) + k1 n + k2], the layout of the level set's
// eigenvectors.  Only pairs inside one block ever meet an eigenvector, so
// nothing else is kept.
//
// The values are the trusted ones (wigner_accurate.hpp).  The series loses
// digits to cancellation as J grows (the absolute sum of its terms grows
// like 2^J against log-factorials good to 1e-15): near theta = 90 its values
// are wrong by 1e-3 at J = 40 and by more than themselves from J = 50 on.  A
// plane therefore keeps the series value of an element only where the
// series' own error bound is below the limit (wigd_limit_for(jmax): 1e-9 in
// a basis that stops at J <= 17, which every element there meets, so those
// runs keep their bits; 1e-12 beyond, where densities cancel too deeply for
// values off by 1e-11) and takes every other element from the half-step
// recursion in J, which is stable at every J and good to about 2e-15.
//
// The blocks can be filled in any order and on any thread; the recursion
// must then go through J in ascending order on one thread, so the elements
// it is to supply are marked by the block fill and written afterwards.
#pragma once

#include <quadmath.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "routines/parity_blocks.hpp"
#include "routines/wigd.hpp"
#include "routines/wigner_accurate.hpp"

namespace routines {

// Where block (J, p) starts in its parity's table, and the table's size:
// the sum of n(J')^2 over the blocks before it.
std::int64_t block_offset(int j, parity p);
inline std::int64_t block_table_size(int jmax, parity p) { return block_offset(jmax + 1, p); }

// The tables of one plane and all the storage their filling needs, sized
// for a run's jmax by reserve_wigner_plane.
struct wigner_plane {
    int jmax = -1;
    double limit = wigd_trust_limit;           // wigd_limit_for(jmax)
    std::vector<double> table[2];              // by parity_index
    std::vector<std::uint8_t> from_recursion[2];
    std::vector<std::int32_t> marked;          // per block [2 J + parity_index]: elements marked
    std::vector<double> sweep_work;            // wigd_work_size(jmax)

    // lgamma(x + 1), x = 0 .. 2 jmax, and the powers of the plane's half angle.
    std::vector<double> lnf;
    std::vector<__float128> cos_pow, nsin_pow;
    // The angle-independent factors of the series (fill_wigd_factors),
    // kept for the run when they fit: block (J, p) starts at
    // factor_start[2 J + parity_index]; a factor is made the first time a
    // plane needs its term (NaN until then).  Empty when they do not fit;
    // each plane then forms the terms it needs afresh.
    std::vector<__float128> factors;
    std::vector<std::int64_t> factor_start;

    const double* block(int j, parity p) const { return table[parity_index(p)].data() + block_offset(j, p); }
};

// Obtains the storage for a run's jmax (may throw std::bad_alloc), and sets
// the limit; wigner_plane_bytes says how much that is.  lnf is filled here.
void reserve_wigner_plane(wigner_plane& w, int jmax);
std::size_t wigner_plane_bytes(int jmax);

// The tables of the blocks J <= jtop[parity] (-1: none) at theta, the
// blocks shared out over `threads` threads, the largest first, then the
// recursion on the calling thread.  The values do not depend on the thread
// count.
void fill_wigner_plane(wigner_plane& w, double theta, const int (&jtop)[2], int threads);

// ---- The pieces, for tests and benchmarks -------------------------------

// The n x n block of parity p at J from the tables of the plane's angle: the
// series alone, whatever its error.  With size_out, each element's absolute
// sum of terms goes there too (the measure of its cancellation; see
// wigd_tabulated).
void fill_wigner_block(const wigd_tables& tables, int j, parity p, double* out, double* size_out = nullptr);

// The angle-independent factors of every element of a block
// (fill_wigd_factors), element after element in the block's order;
// block_factor_count says how many a block takes.
std::int64_t block_factor_count(int j, parity p);
void fill_block_factors(std::span<const double> lnf, int j, parity p, __float128* factors);
// The same values as fill_wigner_block, from the kept factors.
void fill_wigner_block_from_factors(const wigd_tables& tables, int j, parity p, const __float128* factors,
                                    double* out, double* size_out = nullptr);

// Block (J, p) at the angle of tables and screen: the series value where it
// is trusted, with the bits of the full sum but without summing the terms
// that cannot change them, from the block's kept factors when factors is not
// null (NaN marking those not made yet, which are made here); marked for the
// recursion elsewhere.
// Sets w.marked[2 J + parity_index].
void fill_trusted_wigner_block(wigner_plane& w, const wigd_tables& tables, const wigd_screen& screen, int j,
                               parity p, __float128* factors);

// The marked elements of every block, from one sweep of the recursion at
// theta up to the last J that has any.  Blocks that were not filled must
// have w.marked zero.
void fill_marked_from_recursion(wigner_plane& w, double theta);

// A whole plane on one thread, from the series of tables, which must cover
// both tops, then the recursion.
void fill_trusted_wigner_plane(wigner_plane& w, const wigd_tables& tables, double theta, const int (&jtop)[2]);

}  // namespace routines
