// Density tables looked into through the program's own reader, for the tests
// that run kelvane --hdf5 and kelvane-mpi --hdf5.
#pragma once

#include <filesystem>

namespace table_checks {

// The planes a table holds: first, first + 1, ..., first + count - 1.
struct held_planes {
    int first = 0, count = 0;
};
held_planes planes_of(const std::filesystem::path& table);

// Both tables hold the same planes and in every cell the same doubles, bit
// for bit.
void expect_same_values(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace table_checks
