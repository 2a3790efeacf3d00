// The tables that follow the report when asked for: the error of each mean
// (--errors) and the blocking levels behind it (--blocking).  Each is a line
// naming its columns, starting with "#", then whitespace-separated rows in
// the list-directed layout (reals with 17 significant digits), which awk and
// gnuplot read as they stand.
#pragma once

#include <string>
#include <vector>

#include "average/blocking.hpp"

namespace average {

// Header and one row per quantity: label, mean, sigma/sqrt(N), error and its
// error at the chosen block size, that size, tau_int, effective samples and
// "yes" or "no" for the plateau.  Without a plateau the values of the chosen
// level are NaN and the block size 0.
std::vector<std::string> error_table(const error_analysis& a);

// Header and one row per level: block size, number of blocks, then each
// quantity's error and the error of that error.
std::vector<std::string> blocking_table(const error_analysis& a);

// What standard error says about quantities without an error bar: nothing
// when every one has one.
std::vector<std::string> error_notes(const error_analysis& a);

}  // namespace average
