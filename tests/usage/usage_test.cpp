// The usage line and -h/--help of kelvane, sodrel and average: help on
// standard output with status 0, the same usage line beside every complaint
// about an argument on standard error with status 2, and brantor, which takes
// no arguments, unmoved by a request for help.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/paths.hpp"
#include "tests/support/process.hpp"

namespace {

using namespace test_support;

// Runs a built program in an empty folder; args are shell words.  With
// `out_to` set, standard output goes there instead of being captured.
folder_run run(const std::string& program, const std::string& args, const std::string& out_to = "")
{
    run_options o{.args = split_words(args)};
    if (!out_to.empty()) o.stdout_file = out_to;
    return run_in_fresh_folder(program_path(program), o);
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
    {"average", "average [--temp T] [--nslice P] [--molecules N] [--errors] [--blocking] skip(records)", "1.5"},
};

TEST(Help, EitherSpellingPrintsTheUsageOnStandardOutputAndEndsWithStatusZero)
{
    for (const auto& p : programs) {
        for (const char* flag : {"-h", "--help"}) {
            const folder_run r = run(p.program, flag);
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
    EXPECT_NE(run("sodrel", "--help").out.find("  --accuracy TOL  "), std::string::npos);
    const std::string average = run("average", "-h").out;
    for (const char* item : {"  skip           number of leading records", "  --temp T       temperature of the run in K",
                             "  --nslice P ", "  --molecules N ", "  --errors ", "  --blocking "})
        EXPECT_NE(average.find(item), std::string::npos) << item;
}

TEST(Help, TheWaterExampleOfTheHelpIsARunThatPasses)
{
    const std::string out = run("sodrel", "-h").out;
    const std::string marker = "Water: sodrel ";
    const auto at = out.find(marker);
    ASSERT_NE(at, std::string::npos) << out;
    const std::string args = first_line(out.substr(at + marker.size()));
    const folder_run r = run("sodrel", args);
    EXPECT_EQ(r.status, 0) << args;
    EXPECT_EQ(r.err, "") << args;   // silence: the cutoff suffices
}

TEST(Help, HelpThatCannotBeWrittenEndsWithStatusTwo)
{
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    for (const auto& p : programs) {
        const folder_run r = run(p.program, "--help", "/dev/full");
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
            const folder_run r = run(p.program, args);
            EXPECT_EQ(r.status, 2) << p.program << ' ' << args;
            EXPECT_EQ(r.out, "") << p.program << ' ' << args;
            EXPECT_NE(r.err.find("usage: " + p.usage + "\n"), std::string::npos) << r.err;
        }
    }
    for (const char* program : {"kelvane", "sodrel"}) {
        const folder_run r = run(program, "10 -h -1 0 0 27.877 14.512 9.285 12");
        EXPECT_EQ(r.status, 2) << program;
        EXPECT_EQ(r.out, "") << program;
        EXPECT_NE(r.err.find("argument 2 (nslice)"), std::string::npos) << r.err;
    }
}

TEST(UsageLine, StandsBesideTheDiagnosticOfAMissingOrUnreadableArgument)
{
    for (const auto& p : programs) {
        for (const std::string& args : {std::string(), p.bad_first, std::string("''")}) {
            const folder_run r = run(p.program, args);
            EXPECT_EQ(r.status, 2) << p.program << " [" << args << ']';
            EXPECT_EQ(r.out, "") << p.program << " [" << args << ']';
            EXPECT_TRUE(r.files.empty()) << p.program << " [" << args << ']';
            // First the diagnostic, naming the argument, then the usage line.
            EXPECT_NE(r.err.find("\nusage: " + p.usage + "\n"), std::string::npos) << r.err;
            EXPECT_EQ(r.err.find(p.program + ": argument 1 ("), 0u) << r.err;
        }
    }
    const folder_run eight = run("kelvane", "10 16 -1 0 0 27.877 14.512 9.285");
    EXPECT_EQ(eight.status, 2);
    EXPECT_EQ(eight.out, "");
    EXPECT_EQ(eight.err, "kelvane: argument 9 (jmax) is missing\nusage: kelvane" + nine_argument_usage + "\n");
}

TEST(UsageLine, ARunWithReadableArgumentsShowsNoUsage)
{
    const folder_run r = run("sodrel", "10 16 -1 0 0 27.877 14.512 9.285 8");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "STOP too large contribution from emax\n");
    EXPECT_EQ(r.out.find("usage"), std::string::npos);
}

TEST(Arguments, ALineEndInAnArgumentReadsAsABlank)
{
    // A script saved with DOS line endings passes "4\r": the number 4, as the
    // Fortran runtime reads it.
    const std::vector<std::string> nine = {"10", "2", "-1", "1", "0", "27.877", "14.512", "9.285"};
    auto with_jmax = [&](const std::string& jmax) {
        std::vector<std::string> args = nine;
        args.push_back(jmax);
        return args;
    };
    const folder_run plain = run_in_fresh_folder(program_path("kelvane"), {.args = with_jmax("4")});
    ASSERT_EQ(plain.status, 0);
    for (const char* end : {"\r", "\n", "\r\n"}) {
        const folder_run r = run_in_fresh_folder(program_path("kelvane"), {.args = with_jmax(std::string("4") + end)});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, plain.out);
    }
    const std::map<std::string, std::string> energy = {{"wd.eng", "0 9 9 9 9 9 9 9 9 9\n1 2 3 4 5 6 7 8 9 10\n"}};
    const folder_run skip = run_in_fresh_folder(program_path("average"), {.args = {"1\r"}}, energy);
    EXPECT_EQ(skip.status, 0) << skip.err;
    EXPECT_EQ(skip.out.substr(0, 31), " number of points            1\n");
}

TEST(Arguments, AControlCharacterInAnUnreadableArgumentIsShownEscaped)
{
    std::vector<std::string> args = {"10", "2", "-1", "1", "0", "27.877", "14.512", "9.285", "4x\r"};
    const folder_run r = run_in_fresh_folder(program_path("kelvane"), {.args = args});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("'4x\\r'"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\r'), std::string::npos);
    const folder_run a = run_in_fresh_folder(program_path("average"), {.args = {"one\t\x1b"}});
    EXPECT_EQ(a.status, 2);
    EXPECT_NE(a.err.find("'one\\t\\x1b'"), std::string::npos) << a.err;
}

TEST(Brantor, IgnoresARequestForHelpLikeAnyOtherArgument)
{
    const folder_run r = run("brantor", "--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.files, (std::vector<std::string>{"fort.33", "fort.44"}));   // sorted
}

}  // namespace
