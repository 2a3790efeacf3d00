// A table read as users read it, with h5py (check_table.py): its attributes
// and a sample of every plane's values against the text files and the
// report of the same run.  Skipped where /usr/bin/python3 has no h5py.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/support/paths.hpp"
#include "tests/support/process.hpp"
#include "tests/support/temp_folder.hpp"

namespace {

using namespace test_support;

const fs::path python = "/usr/bin/python3";

bool h5py_available()
{
    return fs::exists(python) && run_program(python, {.args = {"-c", "import h5py"}}).status == 0;
}

TEST(H5py, ReadsTheRunsAttributesAndTheValuesOfItsTextFiles)
{
    if (!h5py_available()) GTEST_SKIP() << "skipped: /usr/bin/python3 cannot import h5py (Debian: python3-h5py)";
    // option, the nine arguments, the evaluation the table names
    const std::string cases[][3] = {
        {"", "10 2 -1 0 1 27.877 14.512 9.285 4", "term by term"},
        {"--fourier", "20 4 0 90 90 27.877 14.512 9.285 8", "Fourier series"},
        {"", "10 16 1 0 0 27.877 14.512 9.285 10", "term by term"},
        {"--fourier", "10 2 0 179 185 27.877 14.512 9.285 4", "Fourier series"},
    };
    for (const auto& [option, args, evaluation] : cases) {
        SCOPED_TRACE(option + " " + args);
        temp_folder f;
        const auto kelvane = [&](const std::string& words, std::optional<fs::path> out) {
            return run_program(program_path("kelvane"), {.cwd = f.path(), .args = split_words(words), .stdout_file = out});
        };
        ASSERT_EQ(kelvane(option + " " + args, f / "report").status, 0);
        ASSERT_EQ(kelvane(option + " --hdf5 t.h5 " + args, std::nullopt).status, 0);
        const run_result check =
            run_program(python, {.cwd = f.path(),
                                 .args = {source_path("tests/kelvane_hdf5/check_table.py").string(), "t.h5",
                                          f.path().string(), "report", args, evaluation}});
        EXPECT_EQ(check.status, 0) << check.out << check.err;
    }
}

}  // namespace
