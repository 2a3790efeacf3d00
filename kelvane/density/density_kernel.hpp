// The density, energy estimator and energy-square estimator at points of a
// theta plane, in the order of arithmetic that defines them:
//
// rho = sum over J, levels i of (2J+1)/(8 pi^2) exp(-tau E_i)
//       sum over K1, K2 of c_i(K1) cos(K1 phi + K2 chi) c_i(K2) d^J_{K1 K2}(theta),
//
// summed block by block (even K, odd K), J ascending, levels in stored
// order, K1 and K2 ascending, each inner sum over K2 complete before it meets
// c_i(K1); R, U and V of a block carry 1, E and E^2.  Every value here is bit
// for bit the one that order gives.
#pragma once

#include <cstddef>
#include <span>

#include "kelvane/density/level_plan.hpp"

namespace kelvane {

// Points are evaluated in groups of group_width, each lane keeping the
// accumulation order of a single point.
inline constexpr int group_width = 16;

struct density_setup {
    int iodevn;
    int jmax;
    const block_plan* even;   // null when not evaluated
    const block_plan* odd;
    const double* wig_even;   // the plane's Wigner block tables
    const double* wig_odd;
};

// Per-worker scratch: the cosines of a group.
std::size_t group_scratch_size(int jmax);   // doubles

enum class simd_path { baseline, avx2, avx512 };
bool simd_path_available(simd_path path);
simd_path best_simd_path();

// rho, eng, esq of count <= group_width points (iphi[l], ichi[l]).
void evaluate_group(const density_setup& setup, const int* iphi, const int* ichi, int count,
                    std::span<double> scratch, double* rho, double* eng, double* esq, simd_path path);

}  // namespace kelvane
