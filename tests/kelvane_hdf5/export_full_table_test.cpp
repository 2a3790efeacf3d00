// A full table at jmax 25 (--fourier, 181 planes) written by kelvane --hdf5
// and turned back into text by kelvane-export: the 724 files of the run
// without --hdf5, byte for byte, from a table under a quarter of their size.
// Some 6 GB pass through the temporary folder; labelled slow.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/files.hpp"
#include "tests/support/paths.hpp"
#include "tests/support/process.hpp"
#include "tests/support/temp_folder.hpp"

namespace {

using namespace test_support;

// The SHA-256 of every plane file of a folder, by name.
std::map<std::string, std::string> sums_of_planes(const fs::path& dir)
{
    std::vector<std::string> planes;
    for (const auto& name : file_names(dir))
        if (name.rfind("rho.den", 0) == 0) planes.push_back(name);
    std::map<std::string, std::string> sums;
    std::istringstream in(run_program("sha256sum", {.cwd = dir, .args = planes, .time_limit = 600}).out);
    for (std::string sum, name; in >> sum >> name;) sums[name] = sum;
    for (const auto& name : planes) fs::remove(dir / name);
    return sums;
}

TEST(ExportFullTable, AFullTableAtJmax25IsItsTextFilesByteForByte)
{
    temp_folder f;
    const std::string args = "10 128 -1 0 180 27.877 14.512 9.285 25";
    ASSERT_EQ(run_in(f.path(), "kelvane", "--fourier " + args).status, 0);
    const auto text = sums_of_planes(f.path());
    ASSERT_EQ(text.size(), 724u);
    ASSERT_EQ(run_in(f.path(), "kelvane", "--fourier --hdf5 t.h5 " + args).status, 0);
    // A quarter of the text's 2,641,867,397 bytes.
    EXPECT_LT(fs::file_size(f / "t.h5"), 660'466'849u);
    ASSERT_EQ(run_in(f.path(), "kelvane-export", "t.h5").status, 0);
    EXPECT_TRUE(sums_of_planes(f.path()) == text);
}

}  // namespace
