#include "tests/support/paths.hpp"

namespace test_support {

fs::path program_path(const std::string& name) { return fs::path(TOOLKIT_BIN_DIR) / name; }
fs::path test_data_path(const std::string& relative) { return fs::path(TOOLKIT_SOURCE_DIR) / "tests" / "data" / relative; }
fs::path source_path(const std::string& relative) { return fs::path(TOOLKIT_SOURCE_DIR) / relative; }
fs::path build_dir() { return TOOLKIT_BUILD_DIR; }

fs::path world_readable_copy(const std::string& name, const fs::path& dir)
{
    const fs::path copy = dir / name;
    fs::copy_file(program_path(name), copy, fs::copy_options::overwrite_existing);
    fs::permissions(copy, fs::perms(0755));
    return copy;
}

}  // namespace test_support
