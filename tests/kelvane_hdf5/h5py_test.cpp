// A table read as users read it, with h5py (check_table.py): its attributes
// and a sample of every plane's values against the text files and the
// report of the same run.  Skipped where /usr/bin/python3 has no h5py.
#include <gtest/gtest.h>

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
    struct run_case {
        std::string option, args, evaluation;
    };
    const run_case cases[] = {
        {"", "10 2 -1 0 1 27.877 14.512 9.285 4", "term by term"},
        {"--fourier", "20 4 0 90 90 27.877 14.512 9.285 8", "Fourier series"},
        {"", "10 16 1 0 0 27.877 14.512 9.285 10", "term by term"},
        {"--fourier", "10 2 0 179 185 27.877 14.512 9.285 4", "Fourier series"},
    };
    for (const run_case& c : cases) {
        SCOPED_TRACE(c.option + " " + c.args);
        temp_folder f;
        const run_result text = run_program(program_path("kelvane"),
                                            {.cwd = f.path(), .args = split_words(c.option + " " + c.args),
                                             .stdout_file = f / "report"});
        ASSERT_EQ(text.status, 0) << text.err;
        const run_result table = run_program(
            program_path("kelvane"), {.cwd = f.path(), .args = split_words(c.option + " --hdf5 t.h5 " + c.args)});
        ASSERT_EQ(table.status, 0) << table.err;
        const run_result check = run_program(
            python, {.cwd = f.path(),
                     .args = {source_path("tests/kelvane_hdf5/check_table.py").string(), "t.h5", f.path().string(),
                              "report", c.args, c.evaluation}});
        EXPECT_EQ(check.status, 0) << check.out << check.err;
    }
}

}  // namespace
