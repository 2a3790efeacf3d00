// Means, standard deviations and heat capacity of the energy columns, and the
// four report lines that show them.  Column k of a record is index k - 1.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "average/record_reader.hpp"

namespace average {

using columns = std::array<double, record_width>;

// The columns the report shows, in its order (kinetic, potential, kinetic +
// potential, rotational, total, heat-capacity estimator), as indices of a
// record; the total and the estimator also make the heat capacity.
inline constexpr int reported_count = 6;
inline constexpr std::array<int, reported_count> reported_columns = {1, 2, 3, 4, 6, 7};
inline constexpr int total_energy_column = 6;
inline constexpr int estimator_column = 7;

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

// The settings of the simulation run that enter the heat capacity: its
// temperature, the number of imaginary-time slices and the number of
// molecules.  The defaults are those of the runs the program was written for.
struct run_settings {
    double temperature = 4.0;        // K
    std::int32_t slices = 256;
    std::int32_t molecules = 1;
};

// ((c - <E7>)^2 + <CvE>) / T^2 with c = 1.5 * molecules * slices * T, in
// units of the Boltzmann constant, from the means of the total energy
// (column 7) and of the heat-capacity estimator (column 8): 1536 K and a
// divisor of 16 with the default settings.
double heat_capacity(double total_energy, double estimator, const run_settings& run);
double heat_capacity(const columns& mean, const run_settings& run);
// c, in K.
double heat_capacity_offset(const run_settings& run);

std::string count_line(std::int64_t count);
std::string means_line(const columns& mean);
std::string deviations_line(const columns& deviation);
std::string heat_capacity_line(double cv);

}  // namespace average
