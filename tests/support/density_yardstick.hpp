// The block sums R, U, V of a theta plane evaluated in binary128 from the
// double inputs of a run (levels, eigenvectors, Boltzmann factors, weights,
// the Wigner table of the plane, the grid angles, those past 180 degrees
// taken as negated angles below it), each rounded to double
// once, with the sum of the absolute values of its terms beside it: the
// yardstick for evaluations of a plane that do not follow the term-by-term
// order, which are to give the nearest doubles to these sums.
//
// The sums are regrouped so that a whole plane takes seconds, in another
// order than the Fourier series of density_series.hpp: the levels of each
// (J, K1, K2) are summed per run, the J of each (K1, K2) per plane, then
// every K1 per row phi (with its own cos and sin of K1 phi, negative K1
// included, nothing folded), and every K2 per point.  With a unit roundoff
// of 1e-34 the error of a sum stays some 1e-31 of its absolute sum, far
// below the rounding to double unless the sum cancels by more than 1e14.
// The absolute sums are those of the terms as summed here, expanded down to
// products of the double inputs with the cosine and sine of one angle each:
// cos(K1 phi + K2 chi) enters as cos K1phi cos K2chi - sin K1phi sin K2chi.
// (Where the cosine of the sum is far smaller than those two products, as at
// theta = 0, phi + chi = 90 degrees, where the odd-K sums vanish but for the
// rounding of the angles, no evaluation from the cosines and sines of single
// angles resolves it to better than 1e-32 of the products; there the sums
// of this expansion, not those of |cos(K1 phi + K2 chi)|, measure what the
// inputs determine.)  They are summed in double.
#pragma once

#include <quadmath.h>

#include <cstdint>
#include <span>
#include <vector>

#include "kelvane/density/block_combination.hpp"
#include "kelvane/levels/rotlev.hpp"

namespace kelvane {

struct yardstick_block {
    double r, u, v;                // the sums, rounded to double once
    double r_abs, u_abs, v_abs;    // the sums of the absolute values of their terms
};
struct yardstick_point { yardstick_block even, odd; };

// The level sums of a run: for each block and J, sum_i b E^m c(K1) c(K2)
// over the levels that pass the weight cut (decided here again, as the
// straightforward evaluation decides it), in binary128, and with absolute
// values in double; and cos, sin of K x in binary128.
struct yardstick_levels {
    struct block {
        int jtop = -1;
        std::vector<std::int64_t> start;   // per J: [m][k1][k2]
        std::vector<__float128> sum;
        std::vector<double> abs_sum;
    };
    int jmax = 0;
    int kmax = -1;
    block even, odd;
    std::vector<__float128> cos_kx, sin_kx;   // [(K + kmax) 361 + i]
};
yardstick_levels make_yardstick_levels(const rotlev& levels, double tau);

// Every point of the reduced region, in region order, from the Wigner table
// of the plane in the straightforward layout (literal_wigner_plane), rows
// shared over `threads` threads.
void yardstick_plane(const yardstick_levels& y, std::span<const double> wigtab,
                     std::span<yardstick_point> points, int threads);

// rhopro, erotpr, erotsq from the yardstick's block sums by the block
// selection, in double.
point_values yardstick_values(int iodevn, const yardstick_point& p);

}  // namespace kelvane
