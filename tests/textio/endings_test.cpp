// How a program ends: the stop convention, input/output failures, unusable
// arguments, and standard output that cannot be written (a full disk).
#include <gtest/gtest.h>

#include <string>

#include "tests/support/process.hpp"

namespace {

using test_support::run_result;

// Runs the helper with standard output sent to `to` (captured when empty).
run_result run(const std::string& how, const std::string& to = "")
{
    test_support::run_options o{.args = test_support::split_words(how)};
    if (!to.empty()) o.stdout_file = to;
    return test_support::run_program(ENDING_HELPER, o);
}

TEST(Endings, StopWritesItsMessageOnStandardErrorAndEndsWithZero)
{
    run_result e = run("stop");
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(e.out, "tau=   0.00144\n");
    EXPECT_EQ(e.err, "STOP too large contribution from emax\n");
}

TEST(Endings, BareStopWritesNothing)
{
    run_result e = run("bare-stop");
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(e.out, "tau=   0.00144\n");
    EXPECT_EQ(e.err, "");
}

TEST(Endings, StandardOutputIsCompleteAfterEveryEnding)
{
    for (const char* how : {"big", "big-stop"}) {
        run_result e = run(how);
        EXPECT_EQ(e.status, 0) << how;
        EXPECT_EQ(e.out.size(), 15 + 20000 * 17u) << how;
        EXPECT_EQ(e.out.substr(e.out.size() - 17), " row       19999\n") << how;
    }
}

TEST(Endings, InputOutputFailureEndsWithTwo)
{
    run_result e = run("io-failure");
    EXPECT_EQ(e.status, 2);
    EXPECT_EQ(e.out, "tau=   0.00144\n");
    EXPECT_EQ(e.err, "cannot open rho.den000 for writing\n");
}

TEST(Endings, UsageErrorShowsTheUsageLine)
{
    run_result e = run("usage");
    EXPECT_EQ(e.status, 2);
    EXPECT_EQ(e.err, "temp: not a number: x\nusage: kelvane temp nslice iodevn\n");
}

TEST(Endings, AFullDiskIsNeverAQuietSuccess)
{
    // Every ending, the normal return from main included, sees that standard
    // output could not be written and ends with status 2 and a report.
    for (const char* how : {"", "big", "flush", "stop", "big-stop", "bare-stop"}) {
        run_result e = run(how, "/dev/full");
        EXPECT_EQ(e.status, 2) << how;
        EXPECT_NE(e.err.find("cannot write to standard output"), std::string::npos) << how << ": " << e.err;
        EXPECT_EQ(e.err.find("STOP"), std::string::npos) << how;
        EXPECT_EQ(e.err.find("standard output", e.err.find("standard output") + 1), std::string::npos)
            << "reported twice: " << e.err;
    }
    run_result e = run("io-failure", "/dev/full");
    EXPECT_EQ(e.status, 2);
    EXPECT_EQ(e.err, "cannot open rho.den000 for writing\n");
}

}  // namespace
