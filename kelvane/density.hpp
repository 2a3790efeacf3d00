// The rotational density matrix rho(theta, phi, chi) for one imaginary-time
// step tau, with the energy estimator and the energy-square estimator, on the
// one-degree Euler grid: the Wigner values of a theta plane, the level plan,
// the evaluation of the reduced region of a plane, and its completion by
// symmetry.
//
// rho = sum over J, levels i of (2J+1)/(8 pi^2) exp(-tau E_i)
//       sum over K1, K2 of c_i(K1) cos(K1 phi + K2 chi) c_i(K2) d^J_{K1 K2}(theta),
// summed block by block (even K, odd K) in a fixed order; every value here is
// bit for bit the one that order gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "kelvane/rotlev.hpp"
#include "routines/wigd.hpp"
#include "routines/wigner_accurate.hpp"

namespace kelvane {

// ---- Euler grid -------------------------------------------------------------
inline constexpr int plane_side = 361;                        // iphi, ichi = 0..360
inline constexpr int plane_cells = plane_side * plane_side;   // 130321
inline constexpr int region_points = 16561;                   // evaluated per plane
inline constexpr double grid_pi = 3.141592653589793;
inline constexpr double eight_pi_squared = 78.95683520871486;
// Levels of smaller weight, and densities of smaller magnitude, are dropped.
inline constexpr double density_cut = 1e-16;

// A grid index in radians: index * pi first, then / 180.
inline double grid_angle(int index) { return (index * grid_pi) / 180; }

// Last ichi of row iphi in the reduced region: one eighth of the plane, from
// which the symmetries of d^J and of the cosines give the rest.
int region_last_chi(int iphi);

// The reduced region in evaluation order (iphi outer, ichi inner).
struct region_point { std::int16_t iphi, ichi; };
void list_region(std::span<region_point> points);   // region_points entries

// Runs the four symmetry copies of a plane (in their order, each loop
// ascending, the second index innermost) as copy(destination, source) on cell
// indices iphi * 361 + ichi.  After the last copy every cell holds a value
// that was evaluated or copied before it was read.
template <class Copy>
void symmetry_copies(Copy&& copy)
{
    auto cell = [](int p, int c) { return p * plane_side + c; };
    for (int p = 90; p <= 180; ++p)
        for (int c = 180 - p; c <= p; ++c) copy(cell(p, c), cell(180 - c, 180 - p));
    for (int m = 0; m <= 90; ++m)
        for (int c = m; c <= 180 - m; ++c) copy(cell(180 + m, c), cell(180 + c, m));
    for (int p = 180; p <= 360; ++p)
        for (int c = 360 - p; c <= p; ++c) copy(cell(p, c), cell(360 - c, 360 - p));
    for (int p = 0; p <= 360; ++p)
        for (int c = p; c <= 360; ++c) copy(cell(p, c), cell(c, p));
}

// For each cell of a plane, the position in region order of the evaluated
// point whose values the copies bring there.  The map is the same for every
// plane.
void fill_cell_sources(std::span<std::int32_t> source);   // plane_cells entries

// ---- Wigner values of one plane -----------------------------------------
// Only pairs (K1, K2) inside one block are ever read, so a plane keeps, for
// each parity and J, the n x n matrix d^J_{K1 K2}(theta) with K = K0 + 2k:
// entry [block_offset(J) + k1 n + k2], the layout of the level set's
// eigenvectors.
std::int64_t block_table_size(int jmax, bool odd);   // sum over J of n(J)^2

inline std::int64_t block_offset(int j, bool odd)
{
    std::int64_t s = 0;
    for (int jj = 0; jj < j; ++jj) {
        const std::int64_t n = odd ? odd_order(jj) : even_order(jj);
        s += n * n;
    }
    return s;
}

// The n x n block of parity `odd` at J from the tables of the plane's angle.
// With size_out, each element's absolute sum of terms goes there too (the
// measure of its cancellation; see wigd_tabulated).
void fill_wigner_block(const routines::wigd_tables& tables, int j, bool odd, double* out,
                       double* size_out = nullptr);

// The angle-independent factors of every element of a block (see
// routines::fill_wigd_factors), element after element in the block's order;
// block_factor_count says how many a block takes.  A run keeps them, so that
// each further plane needs only the powers of its angle.
std::int64_t block_factor_count(int j, bool odd);
void fill_block_factors(std::span<const double> lnf, int j, bool odd, __float128* factors);
// The same values as fill_wigner_block, from the kept factors.
void fill_wigner_block_from_factors(const routines::wigd_tables& tables, int j, bool odd,
                                    const __float128* factors, double* out,
                                    double* size_out = nullptr);

// ---- Trusted Wigner values of one plane -------------------------------------
// The series loses digits to cancellation as J grows (the absolute sum of its
// terms grows like 2^J against log-factorials good to 1e-15): near theta = 90
// its values are wrong by 1e-3 at J = 40 and by more than themselves from
// J = 50 on.  A plane therefore keeps the series value of an element only
// where the series' own error bound is below routines::wigd_trust_limit (1e-9:
// every element of J <= 17 at every whole-degree plane, so ordinary runs keep
// their bits), and takes every other element from the half-step recursion in
// J, which is stable at every J and good to about 2e-15 (wigner_accurate.hpp).
// In a run whose basis goes past J = 17 the limit is 1e-12 instead, for every
// J: its densities cancel too deeply near theta = 90 for values off by 1e-11
// (routines::wigd_limit_for).
//
// The blocks can be filled in any order and on any thread; the recursion
// must then go through J in ascending order on one thread, so the elements
// it is to supply are marked by the block fill and written afterwards.
struct plane_wigner {
    std::vector<double> even, odd;                  // the block tables
    std::vector<std::uint8_t> from_recursion_even;  // 1 where the recursion supplies the value
    std::vector<std::uint8_t> from_recursion_odd;
    std::vector<std::int32_t> marked;               // per block, [2 J + odd]: elements marked
    std::vector<double> sweep_work;                 // routines::wigd_work_size(jmax)
    double limit = routines::wigd_trust_limit;      // routines::wigd_limit_for(jmax)
};

// Obtains the storage for a run's jmax, which also sets the limit (may throw
// std::bad_alloc); plane_wigner_bytes
// says how much that is.
void reserve_plane_wigner(plane_wigner& w, int jmax);
std::size_t plane_wigner_bytes(int jmax);

// Block (J, parity) at the angle of tables and screen: the series value, from
// the kept factors when factors is not null, where it is trusted; marked for
// the recursion elsewhere.  Sets w.marked[2 J + odd].
void fill_trusted_wigner_block(plane_wigner& w, const routines::wigd_tables& tables,
                               const routines::wigd_screen& screen, int j, bool odd,
                               const __float128* factors);

// The marked elements of every block, from one sweep of the recursion at
// theta up to the last J that has any.  Blocks that were not filled must
// have w.marked zero.
void fill_marked_from_recursion(plane_wigner& w, double theta);

// A whole plane on one thread: the blocks J <= jtop_even (even K) and
// J <= jtop_odd (odd K), from the series of tables, which must cover both,
// then the recursion.
void fill_trusted_wigner_plane(plane_wigner& w, const routines::wigd_tables& tables, double theta,
                               int jtop_even, int jtop_odd);

// ---- Level plan -------------------------------------------------------------
// The levels of one block that pass the weight cut, J after J, each with its
// Boltzmann factor exp(-tau E) computed once.
struct planned_level {
    const double* vec;    // n components, K = K0 + 2k
    double energy;
    double boltzmann;
};

struct block_plan {
    std::vector<planned_level> levels;       // capacity (jmax+1)^2, never reallocated
    std::vector<std::int32_t> first;         // jmax + 2: levels of J are [first[J], first[J+1])
    int jtop = -1;                           // highest J with a level kept, -1 if none
};

void reserve_block_plan(block_plan& plan, int jmax);
void make_block_plan(block_plan& plan, const block_levels& block, bool odd, int jmax, double tau);

// ---- Evaluation ---------------------------------------------------------------
// Points are evaluated in groups of group_width, each lane keeping the
// accumulation order of a single point.
inline constexpr int group_width = 16;

struct density_setup {
    int iodevn;
    int jmax;
    const block_plan* even;   // null when not evaluated
    const block_plan* odd;
    const double* wig_even;
    const double* wig_odd;
};

// Per-worker scratch: the cosines of a group.
std::size_t group_scratch_size(int jmax);   // doubles

enum class simd_path { baseline, avx2, avx512 };
bool simd_path_available(simd_path path);
simd_path best_simd_path();

// rho, eng, esq of count <= group_width points (iphi[l], ichi[l]).
void evaluate_group(const density_setup& setup, const int* iphi, const int* ichi, int count,
                    std::span<double> scratch, double* rho, double* eng, double* esq,
                    simd_path path);

// The block sums R, U, V of a point turned into rhopro, erotpr, erotsq.
struct point_values { double rho, eng, esq; };
point_values combine_blocks(int iodevn, double r_even, double u_even, double v_even,
                            double r_odd, double u_odd, double v_odd);

}  // namespace kelvane
