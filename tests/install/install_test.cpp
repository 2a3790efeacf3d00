// cmake --install into a temporary prefix: the four programs, the plot
// scripts and the manual pages land where a user looks for them, and the
// installed programs run from anywhere.

#include <gtest/gtest.h>

#include <unistd.h>

#include <memory>
#include <string>

#include "tests/support/files.hpp"
#include "tests/support/paths.hpp"
#include "tests/support/process.hpp"
#include "tests/support/temp_folder.hpp"

namespace {

using namespace test_support;

class Install : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        root_ = std::make_unique<temp_folder>("install");
        fs::create_directories(*root_ / "work");
        install_ = run_program(CMAKE_COMMAND_PATH, {.args = {"--install", build_dir().string(), "--prefix", prefix().string()}});
    }
    static void TearDownTestSuite() { root_.reset(); }

    static fs::path prefix() { return *root_ / "prefix"; }

    // Runs an installed program in an empty working folder with only the
    // installed bin folder (and the system's) on the path; args are shell words.
    static run_result run_installed(const std::string& program, const std::string& args)
    {
        return run_program(program, {.cwd = *root_ / "work",
                                     .args = split_words(args),
                                     .environment = {"PATH=" + (prefix() / "bin").string() + ":/usr/bin:/bin"}});
    }

    static inline std::unique_ptr<temp_folder> root_;
    static inline run_result install_;
};

TEST_F(Install, SucceedsIntoAnEmptyPrefix)
{
    EXPECT_EQ(install_.status, 0) << install_.out << install_.err;
}

TEST_F(Install, PutsTheProgramsAndScriptsInBinAndAManualPageForEachProgram)
{
    for (const char* program : {"kelvane", "sodrel", "brantor", "average", "plot-plane", "plot-scan", "plot-blocking"}) {
        const fs::path p = prefix() / "bin" / program;
        ASSERT_TRUE(fs::is_regular_file(p)) << p;
        EXPECT_EQ(access(p.c_str(), X_OK), 0) << p << " is not executable";
    }
    for (const char* program : {"kelvane", "sodrel", "brantor", "average"}) {
        const fs::path page = prefix() / "share" / "man" / "man1" / (std::string(program) + ".1");
        ASSERT_TRUE(fs::is_regular_file(page)) << page;
        // The NAME section starts with the program, as whatis and apropos expect.
        const std::string text = read_file(page);
        EXPECT_NE(text.find(".SH NAME\n" + std::string(program) + " \\- "), std::string::npos) << page;
    }
}

// Where HDF5 was found: kelvane-export and its manual page too.
TEST_F(Install, PutsKelvaneExportBesideKelvaneWhereItIsBuilt)
{
    if (!fs::exists(program_path("kelvane-export"))) GTEST_SKIP() << "kelvane-export is not built (no HDF5)";
    EXPECT_EQ(access((prefix() / "bin" / "kelvane-export").c_str(), X_OK), 0);
    EXPECT_TRUE(fs::is_regular_file(prefix() / "share" / "man" / "man1" / "kelvane-export.1"));
    const run_result r = run_installed("kelvane-export", "--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: kelvane-export FILE", 0), 0u) << r.out;
}

TEST_F(Install, TheInstalledSodrelJudgesACutoffFromAnyFolder)
{
    const run_result pass = run_installed("sodrel", "10 64 -1 0 0 27.877 14.512 9.285 17");
    EXPECT_EQ(pass.status, 0);
    EXPECT_EQ(pass.err, "");
    EXPECT_EQ(pass.out.rfind("tau=   0.00225\n jmax=", 0), 0u) << pass.out;

    const run_result fail = run_installed("sodrel", "10 64 -1 0 0 27.877 14.512 9.285 16");
    EXPECT_EQ(fail.status, 0);
    EXPECT_EQ(fail.err, "STOP too large contribution from emax\n");
}

TEST_F(Install, TheInstalledProgramsAnswerHelp)
{
    for (const char* program : {"kelvane", "sodrel", "average", "plot-plane", "plot-scan", "plot-blocking"}) {
        const run_result r = run_installed(program, "--help");
        EXPECT_EQ(r.status, 0) << program;
        EXPECT_EQ(r.out.rfind(std::string("usage: ") + program + " ", 0), 0u) << r.out;
    }
}

TEST_F(Install, TheManualPagesFormatWithoutWarnings)
{
    if (!find_program("groff")) GTEST_SKIP() << "groff is not installed";
    for (const char* program : {"kelvane", "sodrel", "brantor", "average", "kelvane-export"}) {
        const fs::path page = prefix() / "share" / "man" / "man1" / (std::string(program) + ".1");
        if (!fs::exists(page)) continue;
        const run_result r = run_program("groff", {.args = {"-man", "-Tutf8", "-ww", "-z", page.string()}});
        EXPECT_EQ(r.status, 0) << page;
        EXPECT_EQ(r.err, "") << page;
    }
}

}  // namespace
