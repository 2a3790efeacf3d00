// The levels a density sums over: for each K parity, J after J, the levels
// whose weight (2J+1)/(8 pi^2) exp(-tau E) passes the cut, each with its
// Boltzmann factor computed once for the run.
#pragma once

#include <cstdint>
#include <vector>

#include "kelvane/levels/rotlev.hpp"

namespace kelvane {

inline constexpr double eight_pi_squared = 78.95683520871486;
// Levels of smaller weight, and densities of smaller magnitude, are dropped.
inline constexpr double density_cut = 1e-16;

// (2J+1)/(8 pi^2): the weight of J in the density, its 2J+1 space-fixed
// projections over the volume of the rotation group.
inline double j_weight(int j) { return (2 * j + 1) / eight_pi_squared; }

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

void reserve_block_plan(block_plan& plan, int jmax);
// The plan of one parity of the level set at tau; a weight exactly at the
// cut is kept.
void make_block_plan(block_plan& plan, const rotlev& levels, parity par, double tau);

}  // namespace kelvane
