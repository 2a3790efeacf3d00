// Means, standard deviations and heat capacity of the energy columns, and the
// four report lines that show them.  Column k of a record is index k - 1.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "average/record_reader.hpp"

namespace average {

using columns = std::array<double, record_width>;

// The first pass: records used and the sums of columns 2 to 10.  The count is
// a whole 64-bit number and becomes a double only where it divides, so every
// count is exact and the means agree with the records the second pass reads.
struct column_sums {
    std::int64_t count = 0;
    columns sum{};
};

void add_to_sums(column_sums& sums, const record& r);
columns column_means(const column_sums& sums);

// The second pass: (mean - value)^2 added record by record in file order.
// Deviations are taken from the first pass's means rather than from running
// sums of squares, which lose the small spread of large energies to
// cancellation.
void add_squared_deviations(columns& squares, const columns& mean, const record& r);
// Divided by the count itself, not by the count less one.
columns standard_deviations(const columns& squares, std::int64_t count);

// ((c - <E7>)^2 + <CvE>) / T^2 with c = 1.5 * 1 * 256 * T = 1536 K at T = 4 K,
// in units of the Boltzmann constant.
double heat_capacity(const columns& mean);

std::string count_line(std::int64_t count);
std::string means_line(const columns& mean);
std::string deviations_line(const columns& deviation);
std::string heat_capacity_line(double cv);

}  // namespace average
