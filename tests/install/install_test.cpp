// cmake --install into a temporary prefix: the four programs, the plot
// scripts and the manual pages land where a user looks for them, and the
// installed programs run from anywhere.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct shell_result {
    int status = -1;
    std::string out, err;
};

shell_result shell(const std::string& command, const fs::path& capture)
{
    const std::string cmd =
        command + " >'" + (capture / "out").string() + "' 2>'" + (capture / "err").string() + "'";
    const int rc = std::system(cmd.c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, slurp(capture / "out"), slurp(capture / "err")};
}

class Install : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string tmpl = (fs::temp_directory_path() / "install-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        root_ = tmpl;
        fs::create_directories(root_ / "capture");
        fs::create_directories(root_ / "work");
        install_ = shell("'" CMAKE_COMMAND_PATH "' --install '" TOOLKIT_BUILD_DIR "' --prefix '" +
                             (root_ / "prefix").string() + "'",
                         root_ / "capture");
    }
    static void TearDownTestSuite() { fs::remove_all(root_); }

    static fs::path prefix() { return root_ / "prefix"; }

    // Runs a command in an empty working folder with only the installed bin
    // folder (and the system's) on the path.
    static shell_result run_installed(const std::string& command)
    {
        return shell("cd '" + (root_ / "work").string() + "' && PATH='" + (prefix() / "bin").string() +
                         ":/usr/bin:/bin' " + command,
                     root_ / "capture");
    }

    static inline fs::path root_;
    static inline shell_result install_;
};

TEST_F(Install, SucceedsIntoAnEmptyPrefix)
{
    EXPECT_EQ(install_.status, 0) << install_.out << install_.err;
}

TEST_F(Install, PutsTheProgramsAndScriptsInBinAndAManualPageForEachProgram)
{
    for (const char* program : {"kelvane", "sodrel", "brantor", "average", "plot-plane", "plot-scan"}) {
        const fs::path p = prefix() / "bin" / program;
        ASSERT_TRUE(fs::is_regular_file(p)) << p;
        EXPECT_EQ(access(p.c_str(), X_OK), 0) << p << " is not executable";
    }
    for (const char* program : {"kelvane", "sodrel", "brantor", "average"}) {
        const fs::path page = prefix() / "share" / "man" / "man1" / (std::string(program) + ".1");
        ASSERT_TRUE(fs::is_regular_file(page)) << page;
        // The NAME section starts with the program, as whatis and apropos expect.
        const std::string text = slurp(page);
        EXPECT_NE(text.find(".SH NAME\n" + std::string(program) + " \\- "), std::string::npos) << page;
    }
}

TEST_F(Install, TheInstalledSodrelJudgesACutoffFromAnyFolder)
{
    const shell_result pass = run_installed("sodrel 10 64 -1 0 0 27.877 14.512 9.285 17");
    EXPECT_EQ(pass.status, 0);
    EXPECT_EQ(pass.err, "");
    EXPECT_EQ(pass.out.rfind("tau=   0.00225\n jmax=", 0), 0u) << pass.out;

    const shell_result fail = run_installed("sodrel 10 64 -1 0 0 27.877 14.512 9.285 16");
    EXPECT_EQ(fail.status, 0);
    EXPECT_EQ(fail.err, "STOP too large contribution from emax\n");
}

TEST_F(Install, TheInstalledProgramsAnswerHelp)
{
    for (const char* program : {"kelvane", "sodrel", "average", "plot-plane", "plot-scan"}) {
        const shell_result r = run_installed(std::string(program) + " --help");
        EXPECT_EQ(r.status, 0) << program;
        EXPECT_EQ(r.out.rfind(std::string("usage: ") + program + " ", 0), 0u) << r.out;
    }
}

TEST_F(Install, TheManualPagesFormatWithoutWarnings)
{
    if (std::system("command -v groff >/dev/null 2>&1") != 0) GTEST_SKIP() << "groff is not installed";
    for (const char* program : {"kelvane", "sodrel", "brantor", "average"}) {
        const fs::path page = prefix() / "share" / "man" / "man1" / (std::string(program) + ".1");
        const shell_result r = shell("groff -man -Tutf8 -ww -z '" + page.string() + "'", root_ / "capture");
        EXPECT_EQ(r.status, 0) << page;
        EXPECT_EQ(r.err, "") << page;
    }
}

}  // namespace
