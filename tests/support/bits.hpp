// Floating-point results compared bit for bit: the same value with the same
// sign of zero, which == cannot tell apart.
#pragma once

#include <cstddef>
#include <cstring>

namespace test_support {

inline bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

inline bool same_bits(const double* x, const double* y, std::size_t count)   // count values from each
{
    return count == 0 || std::memcmp(x, y, count * sizeof(double)) == 0;
}

}  // namespace test_support
