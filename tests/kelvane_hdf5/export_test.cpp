// kelvane-export: the planes of a range, each cell's own value where a
// table no longer holds a computed plane, the refusal of planes the table
// does not hold, of files that are no table and of a half-given range, and
// its help.
#include <gtest/gtest.h>

#include <hdf5.h>

#include <string>
#include <vector>

#include "tests/support/files.hpp"
#include "tests/support/paths.hpp"
#include "tests/support/process.hpp"
#include "tests/support/temp_folder.hpp"

namespace {

using namespace test_support;

const std::string water = " 27.877 14.512 9.285 ";

run_result run_in(const fs::path& dir, const std::string& program, const std::string& args)
{
    return run_program(program_path(program), {.cwd = dir, .args = split_words(args)});
}

TEST(Export, WritesThePlanesOfARangeAsKelvaneWritesThem)
{
    temp_folder text, table;
    ASSERT_EQ(run_in(text.path(), "kelvane", "10 2 -1 2 3" + water + "4").status, 0);
    ASSERT_EQ(run_in(table.path(), "kelvane", "--hdf5 t.h5 10 2 -1 0 4" + water + "4").status, 0);
    const run_result r = run_in(table.path(), "kelvane-export", "t.h5 2 3");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "rho.den002\nrho.den003\n");
    auto files = files_in(table.path());
    files.erase("t.h5");
    EXPECT_TRUE(files == files_in(text.path()));
}

TEST(Export, GivesEachCellTheTextOfItsOwnValueInAChangedTable)
{
    // One cell that the symmetry copies fill, changed in the table: only
    // its records change.
    temp_folder text, table;
    ASSERT_EQ(run_in(text.path(), "kelvane", "10 2 -1 7 7" + water + "4").status, 0);
    ASSERT_EQ(run_in(table.path(), "kelvane", "--hdf5 t.h5 10 2 -1 7 7" + water + "4").status, 0);
    {
        const hid_t file = H5Fopen((table / "t.h5").c_str(), H5F_ACC_RDWR, H5P_DEFAULT);
        const hid_t rho = H5Dopen2(file, "rho", H5P_DEFAULT);
        const hid_t space = H5Dget_space(rho);
        const hsize_t start[3] = {0, 5, 300}, count[3] = {1, 1, 1};
        H5Sselect_hyperslab(space, H5S_SELECT_SET, start, nullptr, count, nullptr);
        const hid_t one = H5Screate_simple(3, count, nullptr);
        const double value = 1.5;
        EXPECT_GE(H5Dwrite(rho, H5T_NATIVE_DOUBLE, one, space, H5P_DEFAULT, &value), 0);
        H5Sclose(one);
        H5Sclose(space);
        H5Dclose(rho);
        EXPECT_GE(H5Fclose(file), 0);
    }
    ASSERT_EQ(run_in(table.path(), "kelvane-export", "t.h5").status, 0);
    const auto want = lines_of(read_file(text / "rho.den007"));
    const auto got = lines_of(read_file(table / "rho.den007"));
    const auto want_rho = lines_of(read_file(text / "rho.den007_rho"));
    const auto got_rho = lines_of(read_file(table / "rho.den007_rho"));
    ASSERT_EQ(got.size(), want.size());
    ASSERT_EQ(got_rho.size(), want_rho.size());
    const std::size_t changed = 5 * 361 + 300;
    for (std::size_t l = 0; l < want.size(); ++l) {
        if (l == changed) continue;
        EXPECT_EQ(got[l], want[l]) << "record " << l + 1;
        EXPECT_EQ(got_rho[l], want_rho[l]) << "line " << l + 1;
    }
    EXPECT_EQ(got[changed], want[changed].substr(0, 15) + "  0.15000000E+01" + want[changed].substr(31));
    EXPECT_EQ(got_rho[changed], " 0.15000000E+01");
    EXPECT_EQ(read_file(table / "rho.den007_eng"), read_file(text / "rho.den007_eng"));
}

TEST(Export, RefusesPlanesTheTableDoesNotHoldAndFilesThatAreNoTable)
{
    temp_folder f;
    ASSERT_EQ(run_in(f.path(), "kelvane", "--hdf5 t.h5 10 2 -1 1 2" + water + "4").status, 0);
    write_file(f / "text.h5", "not a table\n");
    {
        const hid_t file = H5Fcreate((f / "empty.h5").c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
        ASSERT_GE(file, 0);
        H5Fclose(file);
    }
    struct refusal {
        std::string args, says;
    };
    const refusal refusals[] = {
        {"", "the table FILE is missing"},
        {"t.h5 1", "give both ithe1 and ithe2"},
        {"t.h5 0 2", "planes 0 to 2 are not in t.h5, which holds planes 1 to 2"},
        {"t.h5 2 1", "planes 2 to 1 are not in t.h5"},
        {"t.h5 one 2", "ithe1 is not a whole number: 'one'"},
        {"missing.h5", "cannot read missing.h5: No such file or directory"},
        {"text.h5", "cannot read text.h5: "},
        {"empty.h5", "cannot read empty.h5: not a kelvane table (no dataset theta)"},
    };
    const auto before = file_names(f.path());
    for (const refusal& r : refusals) {
        SCOPED_TRACE(r.args);
        const run_result e = run_in(f.path(), "kelvane-export", r.args);
        EXPECT_EQ(e.status, 2);
        EXPECT_EQ(e.out, "");
        EXPECT_EQ(e.err.rfind("kelvane-export: " + r.says, 0), 0u) << e.err;
        EXPECT_EQ(file_names(f.path()), before);
    }
    const run_result help = run_in(f.path(), "kelvane-export", "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: kelvane-export FILE [ithe1 ithe2]\n", 0), 0u) << help.out;
}

}  // namespace
