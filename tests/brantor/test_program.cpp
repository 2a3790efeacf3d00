// The brantor program as a user runs it: its two files, its silence on
// standard output, its exit statuses, and what a write failure leaves behind.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "brantor/scan.hpp"
#include "tests/support/files.hpp"
#include "tests/support/paths.hpp"
#include "tests/support/process.hpp"
#include "tests/support/temp_folder.hpp"

namespace {

using namespace test_support;

class BrantorProgram : public ::testing::Test {
protected:
    run_result run(const std::string& args = "")
    {
        return run_program(program_path("brantor"), {.cwd = dir.path(), .args = split_words(args)});
    }

    static const std::string& expected(bool want_detail)
    {
        static const auto text = [] {
            std::pair<std::string, std::string> t;
            brantor::scan(1, [&](std::string_view d, std::string_view r) {
                t.first += d;
                t.second += r;
            });
            return t;
        }();
        return want_detail ? text.first : text.second;
    }

    temp_folder dir{"brantor"};
};

}  // namespace

TEST_F(BrantorProgram, WritesBothFilesSilentlyAndEndsWithStatusZero)
{
    const run_result r = run();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(read_file(dir / "fort.44") == expected(true));
    EXPECT_TRUE(read_file(dir / "fort.33") == expected(false));
}

TEST_F(BrantorProgram, ReplacesOldFilesFromTheirStartAndIgnoresArguments)
{
    const std::string junk(10'000'000, 'x');
    std::ofstream(dir / "fort.33") << junk;
    std::ofstream(dir / "fort.44") << junk;
    EXPECT_EQ(run("7 -1 abc").status, 0);
    const std::string first33 = read_file(dir / "fort.33"), first44 = read_file(dir / "fort.44");
    EXPECT_TRUE(first33 == expected(false));
    EXPECT_TRUE(first44 == expected(true));
    EXPECT_EQ(run().status, 0);
    EXPECT_TRUE(read_file(dir / "fort.33") == first33);
    EXPECT_TRUE(read_file(dir / "fort.44") == first44);
}

TEST_F(BrantorProgram, AFullScanFileFailsWithStatusTwoAndKeepsWhatWasWritten)
{
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    fs::create_symlink("/dev/full", dir / "fort.33");
    const run_result r = run();
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err, "");
    EXPECT_EQ(r.out, "");
    const std::string detail = read_file(dir / "fort.44");
    ASSERT_FALSE(detail.empty());
    EXPECT_EQ(detail.back(), '\n');
    EXPECT_TRUE(expected(true).starts_with(detail));
}

TEST_F(BrantorProgram, AFileThatCannotBeCreatedFailsWithStatusTwo)
{
    fs::create_directory(dir / "fort.33");
    const run_result r = run();
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err, "");
}
