// The usage line and -h/--help of kelvane, sodrel and average: help on
// standard output with status 0, the same usage line beside every complaint
// about an argument on standard error with status 2, and brantor, which takes
// no arguments, unmoved by a request for help.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct run_result {
    int status = -1;
    std::string out, err;
    std::vector<std::string> files;   // left in the working folder
};

std::string slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs a built program in an empty folder; args are shell words.  With
// `out_to` set, standard output goes there instead of being captured.
run_result run(const std::string& program, const std::string& args, const std::string& out_to = "")
{
    std::string tmpl = (fs::temp_directory_path() / "usage-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("cannot create a temporary folder");
    const fs::path dir(tmpl);
    fs::create_directory(dir / "work");
    const std::string out = out_to.empty() ? (dir / "out").string() : out_to;
    const std::string cmd = "cd '" + (dir / "work").string() + "' && '" TOOLKIT_BIN_DIR "/" + program + "' " + args +
                            " >'" + out + "' 2>'" + (dir / "err").string() + "'";
    const int rc = std::system(cmd.c_str());
    run_result r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    if (out_to.empty()) r.out = slurp(dir / "out");
    r.err = slurp(dir / "err");
    for (const auto& e : fs::directory_iterator(dir / "work")) r.files.push_back(e.path().filename().string());
    fs::remove_all(dir);
    return r;
}

std::string first_line(const std::string& text)
{
    return text.substr(0, text.find('\n'));
}

const std::string nine_argument_usage =
    " temp(K) nslice iodevn ithe1(deg) ithe2(deg) ax(cm-1) az(cm-1) ay(cm-1) jmax";

struct program_usage {
    std::string program;
    std::string usage;          // the usage line, without "usage: "
    std::string bad_first;      // a first argument that cannot be read
};

const program_usage programs[] = {
    {"kelvane", "kelvane" + nine_argument_usage, "warm"},
    {"sodrel", "sodrel" + nine_argument_usage, "warm"},
    {"average", "average skip(records)", "1.5"},
};

TEST(Help, EitherSpellingPrintsTheUsageOnStandardOutputAndEndsWithStatusZero)
{
    for (const auto& p : programs) {
        for (const char* flag : {"-h", "--help"}) {
            const run_result r = run(p.program, flag);
            EXPECT_EQ(r.status, 0) << p.program << ' ' << flag;
            EXPECT_EQ(r.err, "") << p.program << ' ' << flag;
            EXPECT_EQ(first_line(r.out), "usage: " + p.usage) << p.program << ' ' << flag;
            EXPECT_NE(r.out.find(p.program + "(1)"), std::string::npos) << r.out;
            EXPECT_TRUE(r.files.empty()) << p.program << ' ' << flag;
        }
    }
}

TEST(Help, ExplainsEveryArgumentWithItsUnit)
{
    for (const char* program : {"kelvane", "sodrel"}) {
        const std::string out = run(program, "--help").out;
        for (const char* item : {"  temp    temperature, K", "  nslice ", "  iodevn ", "  ithe1", " ithe2",
                                 "  ax az ay  rotational constants", "cm-1", "  jmax    highest J"})
            EXPECT_NE(out.find(item), std::string::npos) << program << ": " << item;
    }
    EXPECT_NE(run("average", "-h").out.find("  skip  number of leading records"), std::string::npos);
}

TEST(Help, TheWaterExampleOfTheHelpIsARunThatPasses)
{
    const std::string out = run("sodrel", "-h").out;
    const std::string marker = "Water: sodrel ";
    const auto at = out.find(marker);
    ASSERT_NE(at, std::string::npos) << out;
    const std::string args = first_line(out.substr(at + marker.size()));
    const run_result r = run("sodrel", args);
    EXPECT_EQ(r.status, 0) << args;
    EXPECT_EQ(r.err, "") << args;   // silence: the cutoff suffices
}

TEST(Help, HelpThatCannotBeWrittenEndsWithStatusTwo)
{
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    for (const auto& p : programs) {
        const run_result r = run(p.program, "--help", "/dev/full");
        EXPECT_EQ(r.status, 2) << p.program;
        EXPECT_NE(r.err, "") << p.program;
    }
}

TEST(Help, IsOnlyAskedForByTheWholeFirstArgument)
{
    // Anything else in first place is an unreadable argument, and -h later on
    // is an unreadable argument where it stands.
    for (const auto& p : programs) {
        for (const char* args : {"-help", "--h", "--help=1", "'-h '", "-H"}) {
            const run_result r = run(p.program, args);
            EXPECT_EQ(r.status, 2) << p.program << ' ' << args;
            EXPECT_EQ(r.out, "") << p.program << ' ' << args;
            EXPECT_NE(r.err.find("usage: " + p.usage + "\n"), std::string::npos) << r.err;
        }
    }
    for (const char* program : {"kelvane", "sodrel"}) {
        const run_result r = run(program, "10 -h -1 0 0 27.877 14.512 9.285 12");
        EXPECT_EQ(r.status, 2) << program;
        EXPECT_EQ(r.out, "") << program;
        EXPECT_NE(r.err.find("argument 2 (nslice)"), std::string::npos) << r.err;
    }
}

TEST(UsageLine, StandsBesideTheDiagnosticOfAMissingOrUnreadableArgument)
{
    for (const auto& p : programs) {
        for (const std::string& args : {std::string(), p.bad_first, std::string("''")}) {
            const run_result r = run(p.program, args);
            EXPECT_EQ(r.status, 2) << p.program << " [" << args << ']';
            EXPECT_EQ(r.out, "") << p.program << " [" << args << ']';
            EXPECT_TRUE(r.files.empty()) << p.program << " [" << args << ']';
            // First the diagnostic, naming the argument, then the usage line.
            EXPECT_NE(r.err.find("\nusage: " + p.usage + "\n"), std::string::npos) << r.err;
            EXPECT_EQ(r.err.find(p.program + ": argument 1 ("), 0u) << r.err;
        }
    }
    const run_result eight = run("kelvane", "10 16 -1 0 0 27.877 14.512 9.285");
    EXPECT_EQ(eight.status, 2);
    EXPECT_EQ(eight.out, "");
    EXPECT_EQ(eight.err, "kelvane: argument 9 (jmax) is missing\nusage: kelvane" + nine_argument_usage + "\n");
}

TEST(UsageLine, ARunWithReadableArgumentsShowsNoUsage)
{
    const run_result r = run("sodrel", "10 16 -1 0 0 27.877 14.512 9.285 8");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "STOP too large contribution from emax\n");
    EXPECT_EQ(r.out.find("usage"), std::string::npos);
}

TEST(Brantor, IgnoresARequestForHelpLikeAnyOtherArgument)
{
    const run_result r = run("brantor", "--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    std::vector<std::string> files = r.files;
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"fort.33", "fort.44"}));
}

}  // namespace
