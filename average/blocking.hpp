// Error bars of the means of correlated samples by blocking (Flyvbjerg and
// Petersen), made in one pass over the records in memory that does not grow
// with the file, and the heat capacity's error by a jackknife over blocks.
//
// Level k groups the N records into n_k = floor(N / 2^k) blocks of B = 2^k
// consecutive records (the last N - n_k B records are left out at that
// level).  With b_i the block means and var_k = (1/n_k) sum (b_i - <b>)^2,
//     SE_k = sqrt(var_k / (n_k - 1)),   its own error  SE_k / sqrt(2 (n_k - 1)).
// For correlated records SE_k grows with B until the blocks are longer than
// the correlation time, then stays level: the plateau.  The level reported is
// the smallest B with (Lee, Kenny and Lee, after Wolff)
//     B^3 >= 2 N (SE_k / SE_0)^4
// among the levels of at least min_blocks blocks; where there is none, the
// run is too short for an error bar and none is given.  At that level
//     tau_int = (SE_k / SE_0)^2 / 2,   effective samples N / (2 tau_int).
//
// Heat capacity, f(a, c) = ((C - a)^2 + c) / T^2 of the means a of the total
// energy and c of the estimator: the jackknife over the n blocks of a level,
// f_i from the means leaving block i out, SE^2 = (n-1)/n sum (f_i - <f_i>)^2.
// With d_i, e_i the deviations of the block means from their means, m = n - 1
// and D = C - <a>, f_i - <f_i> = (2 D u_i - w_i + u_i^2 - <u^2>) / T^2 where
// u_i = d_i / m, w_i = e_i / m, so that
//     T^4 sum (f_i - <f_i>)^2 = 4 D^2 U2 - 4 D UW + W2 + 4 D U3 - 2 U2W + U4 - U2^2 / n
// with U2 = sum d^2 / m^2, UW = sum d e / m^2, W2 = sum e^2 / m^2,
// U3 = sum d^3 / m^3, U2W = sum d^2 e / m^3, U4 = sum d^4 / m^4: the leave-one-
// out means need only these sums of each level, not the blocks themselves.
//
// Accuracy.  Energies far from zero with a small spread would lose their
// spread to cancellation in sums of squares, so every value is taken about
// an origin: a record's values about the first record's (exact where they
// lie within a factor two of each other), and the blocks of each level about
// that level's first block, which lies within a few of the level's own
// standard deviations of the mean.  The block means of a level are made from
// those of the level below as (left + right) / 2 less the origin of the new
// level, in the order of the file, so each is rounded on the scale of its
// level's spread, not of the energy.  The central sums come from raw sums of
// size comparable to them; the raw sums are compensated (each carries the
// rounding error of its additions), and the central sums, moments and
// jackknife are formed from them in binary128.  What is lost is of the order
// of the rounding unit times the square of (first record - mean) / spread,
// small unless the first record lies many standard deviations off the mean
// (an equilibration left in: skip it).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "average/energy_statistics.hpp"
#include "average/record_reader.hpp"

namespace average {

// Quantities given an error bar: the reported columns, then the heat capacity.
inline constexpr int error_quantities = reported_count + 1;
inline constexpr int heat_capacity_quantity = reported_count;

// Fewer blocks give an SE_k uncertain by more than 18 % (1 / sqrt(2 (n - 1))),
// and the criterion is then met by chance far below the correlation time.  At
// the chosen level the criterion with n >= 16 blocks implies N >= 180 tau_int.
inline constexpr std::int64_t min_blocks = 16;

// A sum that carries the rounding error of its additions (Knuth's two-sum):
// sum + carry is the sum to about one rounding, whatever the number of terms.
struct compensated_sum {
    double sum = 0.0;
    double carry = 0.0;
};

// The sums of one level over the block means completed so far, each about
// the level's first block.  (a, c) are the total energy and the estimator.
struct level_sums {
    std::int64_t blocks = 0;
    bool waiting = false;                              // a block awaits its partner
    std::array<double, reported_count> waiting_mean{};
    // The origin of the level above about this level's: the mean of its first
    // pair of blocks.
    std::array<double, reported_count> step{};
    std::array<compensated_sum, reported_count> s1{}, s2{};
    compensated_sum a3, a4, ac, a2c;
};

inline constexpr int max_levels = 64;   // a count below 2^63 fills at most 63

struct blocking_sums {
    std::int64_t count = 0;
    std::array<double, reported_count> origin{};       // the first record's values
    int levels = 0;                                    // levels holding a block
    std::array<level_sums, max_levels> level{};
};

// The record into level 0, and every block it completes into the level above.
void add_to_blocking(blocking_sums& sums, const record& r);

// One level of one quantity: SE_k and its error; NaN without two blocks.
struct level_error {
    double error = 0.0;
    double error_of_error = 0.0;
};

struct blocking_level {
    std::int64_t block_size = 0;
    std::int64_t blocks = 0;
    std::array<level_error, error_quantities> quantity{};
};

struct error_estimate {
    double mean = 0.0;            // the heat capacity itself for the last quantity
    double naive_error = 0.0;     // sigma / sqrt(N); the jackknife over records for the heat capacity
    bool plateau = false;
    // At the chosen level; NaN, and a block size of 0, without a plateau.
    double error = 0.0;
    double error_of_error = 0.0;
    std::int64_t block_size = 0;
    double tau = 0.0;
    double effective_samples = 0.0;
};

struct error_analysis {
    std::int64_t count = 0;
    std::vector<blocking_level> levels;   // k = 0, 1, ... while n_k >= 2
    std::array<error_estimate, error_quantities> estimate{};
};

error_analysis analyse_errors(const blocking_sums& sums, const run_settings& run);

// The level chosen among `levels` for quantity q of a run of `count` records,
// or -1 where the blocking reaches no plateau.
int chosen_level(const std::vector<blocking_level>& levels, int q, std::int64_t count);

}  // namespace average
