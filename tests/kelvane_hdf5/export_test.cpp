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

TEST(Export, WritesThePlanesOfARangeAsKelvaneWritesThem)
{
    temp_folder text, table;
    ASSERT_EQ(run_in(text.path(), "kelvane", "10 2 -1 2 3" + water + "4").status, 0);
    ASSERT_EQ(run_in(table.path(), "kelvane", "--hdf5 t.h5 10 2 -1 0 4" + water + "4").status, 0);
    const run_result r = run_in(table.path(), "kelvane-export", "t.h5 2 3");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "rho.den002\nrho.den003\n");
    fs::remove(table / "t.h5");
    EXPECT_TRUE(files_in(table.path()) == files_in(text.path()));
}

TEST(Export, GivesEachCellTheTextOfItsOwnValueInAChangedTable)
{
    // A cell that the symmetry copies fill, changed in the table: only its
    // records change.
    temp_folder text, table;
    ASSERT_EQ(run_in(text.path(), "kelvane", "10 2 -1 7 7" + water + "4").status, 0);
    ASSERT_EQ(run_in(table.path(), "kelvane", "--hdf5 t.h5 10 2 -1 7 7" + water + "4").status, 0);
    const hid_t file = H5Fopen((table / "t.h5").c_str(), H5F_ACC_RDWR, H5P_DEFAULT);
    const hid_t rho = H5Dopen2(file, "rho", H5P_DEFAULT), space = H5Dget_space(rho);
    const hsize_t start[3] = {0, 5, 300}, count[3] = {1, 1, 1};
    H5Sselect_hyperslab(space, H5S_SELECT_SET, start, nullptr, count, nullptr);
    const hid_t one = H5Screate_simple(3, count, nullptr);
    const double value = 1.5;
    EXPECT_GE(H5Dwrite(rho, H5T_NATIVE_DOUBLE, one, space, H5P_DEFAULT, &value), 0);
    for (const hid_t s : {one, space}) H5Sclose(s);
    H5Dclose(rho);
    ASSERT_GE(H5Fclose(file), 0);

    ASSERT_EQ(run_in(table.path(), "kelvane-export", "t.h5").status, 0);
    for (const std::string suffix : {"", "_rho", "_eng"}) {
        auto want = lines_of(read_file(text / ("rho.den007" + suffix)));
        const std::size_t cell = 5 * 361 + 300;
        if (suffix == "") want[cell] = want[cell].substr(0, 15) + "  0.15000000E+01" + want[cell].substr(31);
        if (suffix == "_rho") want[cell] = " 0.15000000E+01";
        EXPECT_TRUE(lines_of(read_file(table / ("rho.den007" + suffix))) == want) << suffix;
    }
}

TEST(Export, RefusesPlanesTheTableDoesNotHoldAndFilesThatAreNoTable)
{
    temp_folder f;
    ASSERT_EQ(run_in(f.path(), "kelvane", "--hdf5 t.h5 10 2 -1 1 2" + water + "4").status, 0);
    write_file(f / "text.h5", "not a table\n");
    ASSERT_GE(H5Fclose(H5Fcreate((f / "empty.h5").c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT)), 0);
    const std::pair<std::string, std::string> refusals[] = {
        {"", "the table FILE is missing"},
        {"t.h5 1", "give both ithe1 and ithe2"},
        {"t.h5 0 2", "planes 0 to 2 are not in t.h5, which holds planes 1 to 2"},
        {"t.h5 2 1", "planes 2 to 1 are not in t.h5"},
        {"t.h5 one 2", "ithe1 is not a whole number: 'one'"},
        {"missing.h5", "cannot read missing.h5: No such file or directory"},
        {"text.h5", "cannot read text.h5: Not an HDF5 file"},
        {"empty.h5", "cannot read empty.h5: not a kelvane table (no dataset theta)"},
    };
    const auto before = file_names(f.path());
    for (const auto& [args, says] : refusals) {
        const run_result e = run_in(f.path(), "kelvane-export", args);
        EXPECT_EQ(e.status, 2) << args;
        EXPECT_EQ(e.out, "") << args;
        EXPECT_EQ(e.err.rfind("kelvane-export: " + says, 0), 0u) << e.err;
        EXPECT_EQ(file_names(f.path()), before) << args;
    }
    const run_result help = run_in(f.path(), "kelvane-export", "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: kelvane-export FILE [ithe1 ithe2]\n", 0), 0u) << help.out;
}

}  // namespace
