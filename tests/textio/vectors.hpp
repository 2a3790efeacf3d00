// Reading the vectors that the Fortran runtime wrote (tests/data/textio).
#pragma once

#include <bit>
#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/paths.hpp"

namespace vectors {

inline std::vector<std::string> lines(const std::string& name)
{
    const auto path = test_support::test_data_path("textio/" + name);
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path.string());
    std::vector<std::string> all;
    for (std::string line; std::getline(in, line);) all.push_back(line);
    return all;
}

inline double from_hex(const std::string& hex)
{
    return std::bit_cast<double>(static_cast<std::uint64_t>(std::stoull(hex, nullptr, 16)));
}

}  // namespace vectors
