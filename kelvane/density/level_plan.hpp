// The levels a density sums over: for each K parity, J after J, the levels
// whose weight (2J+1)/(8 pi^2) exp(-tau E) passes the cut, each with its
// Boltzmann factor computed once for the run.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "kelvane/levels/rotlev.hpp"
#include "kelvane/run/run_args.hpp"
#include "routines/storage.hpp"

namespace kelvane {

inline constexpr double eight_pi_squared = 78.95683520871486;
// Levels of smaller weight, and densities of smaller magnitude, are dropped.
inline constexpr double density_cut = 1e-16;

// (2J+1)/(8 pi^2): the weight of J in the density, its 2J+1 space-fixed
// projections over the volume of the rotation group.
inline double j_weight(int j) { return (2 * j + 1) / eight_pi_squared; }

// The highest J, at most jmax, whose levels can pass the weight cut at
// tau, for the levels of the rigid rotor H = X Jx^2 + Y Jy^2 + Z Jz^2 (x, y,
// z its constants in any order): every level of J lies at or above
// min(X, Y, Z) J(J+1), since H >= min(X, Y, Z)(Jx^2 + Jy^2 + Jz^2).  Decided
// with margins, levels lower by a millionth of the largest |constant| times
// J(J+1) and weights twice as large, far beyond the rounding of computed
// levels and of the cut, so that no plan of such levels at tau keeps a level
// above it.  jmax where tau or a constant is not finite or tau is not
// positive.
int weight_cut_jtop(double tau, double x, double y, double z, int jmax);

struct planned_level {
    const double* vec;    // n components, K = K0 + 2k
    double energy;
    double boltzmann;     // exp(-tau E)
};

struct block_plan {
    parity par = parity::even;
    std::vector<planned_level> levels;       // capacity (jmax+1)^2, never reallocated
    std::vector<std::int32_t> first;         // jmax + 2: levels of J are [first[J], first[J+1])
    int jtop = -1;                           // highest J with a level kept, -1 if none
};

void reserve_block_plan(routines::storage& s, block_plan& plan, int jmax);
// The plan of one parity of the level set at tau; a weight exactly at the
// cut is kept.
void make_block_plan(block_plan& plan, const rotlev& levels, parity par, double tau);

// The plans of both parities, of which a run makes those of the blocks it
// sums.
struct block_plans {
    block_plan even, odd;
};
void reserve_block_plans(routines::storage& s, block_plans& plans, int jmax);
void make_block_plans(block_plans& plans, const rotlev& levels, block_selection blocks, double tau);
// The top J of each parity's plan (by routines::parity_index); -1 for a
// parity that is not summed.
std::array<int, 2> plan_tops(const block_plans& plans, block_selection blocks);

// The K values of one parity within |K| <= jtop (the blocks of every J up to
// jtop together): K = klo + 2i, i < count, symmetric about 0; the
// non-negative ones are K1 = k1_low + 2r, r < rows, k1_low being 0 for even
// K and 1 for odd.  Empty for jtop < 0.
struct k_class {
    int k1_low = 0;
    int klo = 0;
    int count = 0;
    int rows = 0;
};
k_class k_class_of(int jtop, parity par);

}  // namespace kelvane
