// The brantor program as a user runs it: its two files, its silence on
// standard output, its exit statuses, and a failure that leaves the files of
// the run before as they were.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
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
    run_result run(const std::string& args = "", run_options o = {})
    {
        o.cwd = dir.path();
        o.args = split_words(args);
        return run_program(program_path("brantor"), o);
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

TEST_F(BrantorProgram, AFailedRunLeavesTheFilesOfTheRunBeforeAsTheyWere)
{
    // Both files are checked before the scan and put in place together once
    // it is complete: a failure, before or during the scan, changes neither.
    ASSERT_EQ(run().status, 0);
    const std::pair<const char*, std::function<run_options()>> failures[] = {
        {"a file size limit (ulimit -f 4000)", [] { return run_options{.file_size_limit = 4000 * 1024}; }},
        {"fort.33 a directory", [&] {
             fs::remove(dir / "fort.33");
             fs::create_directory(dir / "fort.33");
             return run_options{};
         }},
        {"fort.33 a link to a full device", [&] {
             fs::remove(dir / "fort.33");
             fs::create_symlink("/dev/full", dir / "fort.33");
             return run_options{};
         }},
    };
    for (const auto& [what, prepare] : failures) {
        SCOPED_TRACE(what);
        const run_result r = run("", prepare());
        EXPECT_EQ(r.status, 2) << r.describe();
        EXPECT_NE(r.err.find("brantor: cannot"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(read_file(dir / "fort.44") == expected(true));
        if (fs::is_regular_file(dir / "fort.33")) {
            EXPECT_TRUE(read_file(dir / "fort.33") == expected(false));
        }
        EXPECT_EQ(file_names(dir.path()), (std::vector<std::string>{"fort.33", "fort.44"}));
    }
}
