// Where the tests find what they check: the programs as built, the test data,
// the source tree and the build tree.
#pragma once

#include <filesystem>
#include <string>

namespace test_support {

namespace fs = std::filesystem;

fs::path program_path(const std::string& name);       // <build>/bin/name
fs::path test_data_path(const std::string& relative);  // tests/data/relative
fs::path source_path(const std::string& relative);     // from the top of the source tree
fs::path build_dir();

// A copy of a built program in `dir`, which any user may read and run (the
// build tree may lie under a home folder closed to others).
fs::path world_readable_copy(const std::string& name, const fs::path& dir);

}  // namespace test_support
