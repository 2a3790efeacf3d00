// sodrel --accuracy TOL: its one line, the jmax it names passing sodrel's own
// verdict, the refusals of a tolerance or of arguments it cannot work with,
// and the stop when no jmax up to 876 reaches the tolerance.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "tests/kelvane/program_cases.hpp"

namespace {

using program_cases::run;

const std::string water = "27.877 14.512 9.285";
const std::string usage_line =
    "usage: sodrel temp(K) nslice iodevn ithe1(deg) ithe2(deg) ax(cm-1) az(cm-1) ay(cm-1) jmax\n";

TEST(AccuracyOption, PrintsOneLineWithAJmaxThatPassesTheCutoffTest)
{
    const auto r = run("sodrel", "--accuracy 1e-8 10 8 -1 0 0 " + water + " 5");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(r.out, m, std::regex(R"(accuracy 1e-08: jmax= (\d+) bound= (\d\.\de-\d\d)\n)")))
        << r.out;
    EXPECT_LE(std::stod(m[2]), 1e-8);
    // kelvane runs with it: sodrel's verdict on that jmax is silence.
    const auto verdict = run("sodrel", "10 8 -1 0 0 " + water + " " + std::string(m[1]));
    EXPECT_EQ(verdict.err, "");
    EXPECT_EQ(verdict.status, 0);
}

TEST(AccuracyOption, TheJmaxAndThetaArgumentsChangeNothing)
{
    const auto plain = run("sodrel", "--accuracy 1e-6 10 16 1 0 0 " + water + " 5");
    for (const char* others : {"7 3", "-5 200"})
        for (const char* jmax : {"0", "876"}) {
            const auto r = run("sodrel", std::string("--accuracy 1e-6 10 16 1 ") + others + " " + water + " " + jmax);
            EXPECT_EQ(r.out, plain.out) << others << ' ' << jmax;
            EXPECT_EQ(r.status, 0);
        }
    // Before or after --fourier, which sodrel ignores.
    EXPECT_EQ(run("sodrel", "--fourier --accuracy 1e-6 10 16 1 0 0 " + water + " 5").out, plain.out);
    EXPECT_EQ(run("sodrel", "--accuracy 1e-6 --fourier 10 16 1 0 0 " + water + " 5").out, plain.out);
}

TEST(AccuracyOption, ARequestItCannotAnswerIsRefusedWithTheUsageLine)
{
    struct refusal {
        std::string args;
        std::string diagnostic;
    };
    const std::string tol_needed = "sodrel: --accuracy needs a tolerance above 0 and at most 1";
    const std::string must_be_positive = " must be positive for --accuracy";
    const refusal refusals[] = {
        {"--accuracy", tol_needed + "\n"},
        {"--accuracy -1e-8 10 8 -1 0 0 " + water + " 5", tol_needed + ", not '-1e-8'\n"},
        {"--accuracy 0 10 8 -1 0 0 " + water + " 5", tol_needed + ", not '0'\n"},
        {"--accuracy 1e-400 10 8 -1 0 0 " + water + " 5", tol_needed + ", not '1e-400'\n"},
        {"--accuracy nan 10 8 -1 0 0 " + water + " 5", tol_needed + ", not 'nan'\n"},
        {"--accuracy tight 10 8 -1 0 0 " + water + " 5", tol_needed + ", not 'tight'\n"},
        {"--accuracy 1.5 10 8 -1 0 0 " + water + " 5", tol_needed + ", not '1.5'\n"},
        {"--accuracy '' 10 8 -1 0 0 " + water + " 5", tol_needed + ", not ''\n"},
        {"--accuracy 10 8 -1 0 0 " + water + " 5", tol_needed + ", not '10'\n"},
        {"--accuracy 1e-8 10 8 2 0 0 " + water + " 5", "sodrel: argument 3 (iodevn) must be -1, 0 or 1\n"},
        {"--accuracy 1e-8 10 8 -1 0 0 0 14.512 9.285 5", "sodrel: argument 6 (ax)" + must_be_positive},
        {"--accuracy 1e-8 10 8 -1 0 0 27.877 -14.512 9.285 5", "sodrel: argument 7 (az)" + must_be_positive},
        {"--accuracy 1e-8 10 8 -1 0 0 27.877 14.512 0 5", "sodrel: argument 8 (ay)" + must_be_positive},
        {"--accuracy 1e-8 10 8 -1 0 0 " + water, "sodrel: argument 9 (jmax) is missing\n"},
    };
    for (const refusal& c : refusals) {
        const auto r = run("sodrel", c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
        EXPECT_EQ(r.err.rfind(c.diagnostic, 0), 0u) << c.args << "\n" << r.err;
        EXPECT_TRUE(r.err.ends_with(usage_line)) << c.args << "\n" << r.err;
    }
    // kelvane has no such option.
    const auto k = run("kelvane", "--accuracy 1e-8 10 8 -1 0 0 " + water + " 5");
    EXPECT_EQ(k.status, 2);
    EXPECT_EQ(k.err.rfind("kelvane: unknown option '--accuracy'", 0), 0u) << k.err;
}

TEST(AccuracyOption, StopsWhenNoJmaxUpTo876ReachesTheTolerance)
{
    // Levels below the density's weight cut are left out at any jmax: they
    // set a floor under the bound.
    const auto floor = run("sodrel", "--accuracy 1e-15 10 8 -1 0 0 " + water + " 5");
    EXPECT_EQ(floor.status, 0);
    EXPECT_EQ(floor.out, "");
    EXPECT_TRUE(std::regex_match(
        floor.err, std::regex(R"(STOP no jmax up to 876 reaches accuracy 1e-15: the smallest bound is \d\.\de-1[0-4], at jmax \d+\n)")))
        << floor.err;
    // So hot a step that even J = 876 fails the cutoff test.
    const auto hot = run("sodrel", "--accuracy 1e-6 3000 1000 -1 0 0 " + water + " 5");
    EXPECT_EQ(hot.out, "");
    EXPECT_EQ(hot.err, "STOP no jmax up to 876 passes the cutoff test at this temp and nslice\n");
    // One constant a thousand times below the others and so short a step
    // that the levels of J up to 876 pass the test, but not even those of
    // J = 1095 grow enough for the remainder.
    const auto flat = run("sodrel", "--accuracy 1e-6 14400 1000 -1 0 0 1000 1 1000 5");
    EXPECT_EQ(flat.out, "");
    EXPECT_EQ(flat.err, "STOP no jmax up to 876 reaches accuracy 1e-06: the levels beyond J = 1095 cannot be bounded "
                        "at this tau\n");
    // So cold that no odd-K level passes the weight cut: the table of odd K
    // is empty whatever jmax.
    const auto cold = run("sodrel", "--accuracy 1e-6 0.1 1 1 0 0 " + water + " 5");
    EXPECT_EQ(cold.out, "");
    EXPECT_EQ(cold.err, "STOP no jmax up to 876 reaches accuracy 1e-06: at this tau the density's weight cut "
                        "leaves out every level of a sum\n");
}

TEST(AccuracyOption, HelpNamesTheOption)
{
    const auto r = run("sodrel", "--help");
    EXPECT_NE(r.out.find("--accuracy TOL"), std::string::npos) << r.out;
    EXPECT_EQ(run("kelvane", "--help").out.find("--accuracy"), std::string::npos);
}

}  // namespace
