// sodrel --accuracy TOL: refusals with the usage line, and the stop when no
// jmax reaches TOL (its line is checked with kelvane's tables).
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "tests/kelvane/program_cases.hpp"

namespace {

using program_cases::run;
const std::string water = " 27.877 14.512 9.285 ";

TEST(AccuracyOption, ARequestItCannotAnswerIsRefusedWithTheUsageLine)
{
    const std::string tol = "sodrel: --accuracy needs a tolerance above 0 and at most 1";
    const std::string positive = " must be positive for --accuracy";
    const std::pair<std::string, std::string> refusals[] = {
        {"--accuracy", tol + "\n"},
        {"--accuracy -1e-8 10 8 -1 0 0" + water + "5", tol + ", not '-1e-8'\n"},
        {"--accuracy 0 10 8 -1 0 0" + water + "5", tol + ", not '0'\n"},
        {"--accuracy nan 10 8 -1 0 0" + water + "5", tol + ", not 'nan'\n"},
        {"--accuracy tight 10 8 -1 0 0" + water + "5", tol + ", not 'tight'\n"},
        {"--accuracy 1.5 10 8 -1 0 0" + water + "5", tol + ", not '1.5'\n"},
        {"--accuracy 10 8 -1 0 0" + water + "5", tol + ", not '10'\n"},   // forgotten
        {"--accuracy 1e-8 10 8 2 0 0" + water + "5", "sodrel: argument 3 (iodevn) must be -1, 0 or 1\n"},
        {"--accuracy 1e-8 10 8 -1 0 0 27.877 0 9.285 5", "sodrel: argument 7 (az)" + positive},
        {"--accuracy 1e-8 10 8 -1 0 0 27.877 14.512 -1 5", "sodrel: argument 8 (ay)" + positive},
    };
    for (const auto& [args, diagnostic] : refusals) {
        const auto r = run("sodrel", args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_EQ(r.err.rfind(diagnostic, 0), 0u) << args << "\n" << r.err;
        EXPECT_NE(r.err.find("\nusage: sodrel temp(K) nslice"), std::string::npos) << r.err;
    }
    EXPECT_EQ(run("kelvane", "--accuracy 1e-8 10 8 -1 0 0" + water + "5").status, 2);
}

TEST(AccuracyOption, StopsWhenNoJmaxUpTo876ReachesTheTolerance)
{
    // The levels below the density's weight cut are left out at any jmax.
    const auto floor = run("sodrel", "--accuracy 1e-15 10 8 -1 0 0" + water + "5");
    EXPECT_EQ(floor.status, 0);
    EXPECT_EQ(floor.out, "");
    EXPECT_TRUE(std::regex_match(floor.err, std::regex("STOP no jmax up to 876 reaches accuracy 1e-15: the smallest "
                                                       R"(bound is \d\.\de-1[0-4], at jmax \d+\n)")))
        << floor.err;
    EXPECT_EQ(run("sodrel", "--accuracy 1e-6 3000 1000 -1 0 0" + water + "5").err,
              "STOP no jmax up to 876 passes the cutoff test at this temp and nslice\n");
}

}  // namespace
