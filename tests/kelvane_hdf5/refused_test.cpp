// A kelvane built without the HDF5 library refuses --hdf5 with a message,
// before it prints or writes anything.
#include <gtest/gtest.h>

#include "tests/support/paths.hpp"
#include "tests/support/process.hpp"

TEST(TableWithoutHdf5, IsRefusedBeforeAnyOutput)
{
    using namespace test_support;
    const folder_run r = run_in_fresh_folder(program_path("kelvane"),
                                             {.args = split_words("--hdf5 t.h5 10 2 -1 0 0 27.877 14.512 9.285 4")});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("without the HDF5 library"), std::string::npos) << r.err;
    EXPECT_TRUE(r.files.empty());
}
