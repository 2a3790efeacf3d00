// The Wigner tables of one theta plane: for each K parity and each J, the
// n x n matrix d^J_{K1 K2}(theta) with K1, K2 in the block (K = K0 + 2k),
// entry [block_offset(J, parity) + k1 n + k2], the layout of the level set's
// eigenvectors.  Only pairs inside one block ever meet an eigenvector, so
// nothing else is kept.
//
// Where a value comes from: two ways, chosen by the evaluation that reads
// the tables (wigner_method).
//
// The trusted values, which the term-by-term evaluation reads and whose bits
// every earlier run reproduces.  The explicit series (series.hpp) loses
// digits to cancellation as J grows (the absolute sum of its terms grows like
// 2^J against log-factorials good to 1e-15): near theta = 90 its values are
// wrong by 1e-3 at J = 40 and by more than themselves from J = 50 on.  A
// plane therefore keeps the series value of an element only where the
// series' own error bound is below the limit (limit_for(jmax): 1e-9 in a
// basis that stops at J <= 17, which every element there meets, so those
// runs keep their bits; 1e-12 beyond, where densities cancel too deeply for
// values off by 1e-11) and takes every other element from the half-step
// recursion in J (recursion.hpp), which is stable at every J and good to
// about 2e-15.  The blocks can be filled in any order and on any thread; the
// recursion must then go through J in ascending order on one thread, so the
// elements it is to supply are marked by the block fill and written
// afterwards.
//
// The three-term values, which the Fourier-series evaluation reads: every
// element the nearest double, or nearly, to the exact value at the double
// angle, from the three-term recursion in J carried in double-double
// (three_term.hpp), column by column, each column on any thread.  No table of
// the series' factors is kept (their number grows like jmax^4), and the
// work of a plane is O(1) per element, O(jtop^3) in all.
#pragma once

#include <quadmath.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "routines/parity_blocks.hpp"
#include "routines/storage.hpp"

namespace routines {

// Where block (J, p) starts in its parity's table, and the table's size:
// the sum of n(J')^2 over the blocks before it.
std::int64_t block_offset(int j, parity p);
inline std::int64_t block_table_size(int jmax, parity p) { return block_offset(jmax + 1, p); }

enum class wigner_method { trusted, three_term };

// The tables of one plane and all the storage their filling needs, sized
// for a run's jmax and method by reserve_wigner_plane.
struct wigner_plane {
    int jmax = -1;
    wigner_method method = wigner_method::trusted;
    double limit = 0;                          // limit_for(jmax)
    std::vector<double> table[2];              // by parity_index

    // The trusted values: which elements the recursion supplied, and how
    // many per block [2 J + parity_index].
    std::vector<std::uint8_t> from_recursion[2];
    std::vector<std::int32_t> marked;
    std::vector<double> sweep_work;            // the recursion's
    // lgamma(x + 1), x = 0 .. 2 jmax, and the powers of the plane's half angle.
    std::vector<double> lnf;
    std::vector<__float128> cos_pow, nsin_pow;
    // The angle-independent factors of the series, kept for the run when
    // they fit (their number grows like jmax^4: some 8 MB at jmax 40, the
    // cap of 128 MB near jmax 80): block (J, p) starts at
    // factor_start[2 J + parity_index]; a factor is made the first time a
    // plane needs its term (NaN until then).  Both empty when they do not
    // fit; each plane then forms the terms it needs afresh.
    std::vector<__float128> factors;
    std::vector<std::int64_t> factor_start;

    // The three-term values: the factors of the recursion (for the run), the
    // powers of the plane's half angle, and the state of every column, column
    // m at column_state_size summed over the columns before it.
    std::vector<double> column_factors;
    std::vector<double> column_powers;
    std::vector<double> column_states;

    const double* block(int j, parity p) const { return table[parity_index(p)].data() + block_offset(j, p); }
};

// Obtains the storage for a run's jmax, 0..jmax_limit, and method (may
// throw std::bad_alloc), and sets the limit, or with a counting storage only
// counts it (w untouched); wigner_plane_bytes says how much that is, every
// array included.  What does not depend on the angle (lnf, the column
// factors) is filled here.
void reserve_wigner_plane(storage& s, wigner_plane& w, int jmax, wigner_method method);
void reserve_wigner_plane(wigner_plane& w, int jmax, wigner_method method = wigner_method::trusted);
std::size_t wigner_plane_bytes(int jmax, wigner_method method = wigner_method::trusted);

// The tables of the blocks J <= jtop[parity] (-1: none) at theta by the
// plane's method, the work shared out over `threads` threads.  The values do
// not depend on the thread count.
void fill_wigner_plane(wigner_plane& w, double theta, const std::array<int, 2>& jtop, int threads);

}  // namespace routines
