// The brantor program as a user runs it: its two files, its silence on
// standard output, its exit statuses, and what a write failure leaves behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "brantor/scan.hpp"

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct run_result {
    int status;
    std::string out, err;
};

class BrantorProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/brantor-test-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { fs::remove_all(dir); }

    run_result run(const std::string& args = "")
    {
        const std::string cmd = "cd '" + dir.string() + "' && '" TOOLKIT_BIN_DIR "/brantor' " + args +
                                " >stdout.txt 2>stderr.txt";
        const int rc = std::system(cmd.c_str());
        run_result r{WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, slurp(dir / "stdout.txt"),
                     slurp(dir / "stderr.txt")};
        fs::remove(dir / "stdout.txt");
        fs::remove(dir / "stderr.txt");
        return r;
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

    fs::path dir;
};

}  // namespace

TEST_F(BrantorProgram, WritesBothFilesSilentlyAndEndsWithStatusZero)
{
    const run_result r = run();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(slurp(dir / "fort.44") == expected(true));
    EXPECT_TRUE(slurp(dir / "fort.33") == expected(false));
}

TEST_F(BrantorProgram, ReplacesOldFilesFromTheirStartAndIgnoresArguments)
{
    const std::string junk(10'000'000, 'x');
    std::ofstream(dir / "fort.33") << junk;
    std::ofstream(dir / "fort.44") << junk;
    EXPECT_EQ(run("7 -1 abc").status, 0);
    const std::string first33 = slurp(dir / "fort.33"), first44 = slurp(dir / "fort.44");
    EXPECT_TRUE(first33 == expected(false));
    EXPECT_TRUE(first44 == expected(true));
    EXPECT_EQ(run().status, 0);
    EXPECT_TRUE(slurp(dir / "fort.33") == first33);
    EXPECT_TRUE(slurp(dir / "fort.44") == first44);
}

TEST_F(BrantorProgram, AFullScanFileFailsWithStatusTwoAndKeepsWhatWasWritten)
{
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    fs::create_symlink("/dev/full", dir / "fort.33");
    const run_result r = run();
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err, "");
    EXPECT_EQ(r.out, "");
    const std::string detail = slurp(dir / "fort.44");
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
