// How a program ends: the stop convention, input/output failures, unusable
// arguments, and standard output that cannot be written (a full disk).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct ending {
    int status;
    std::string out, err;
};

std::string slurp(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs the helper with standard output sent to `to` (a file of our own when
// empty).
ending run(const std::string& how, const std::string& to = "")
{
    std::string dir = ::testing::TempDir();
    std::string tag = std::to_string(::getpid()) + "_" + how;
    std::string out = to.empty() ? dir + "/out_" + tag : to;
    std::string err = dir + "/err_" + tag;
    std::string cmd = std::string(ENDING_HELPER) + " " + how + " >" + out + " 2>" + err;
    int raw = std::system(cmd.c_str());
    ending e{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, to.empty() ? slurp(out) : "", slurp(err)};
    std::remove(err.c_str());
    if (to.empty()) std::remove(out.c_str());
    return e;
}

TEST(Endings, StopWritesItsMessageOnStandardErrorAndEndsWithZero)
{
    ending e = run("stop");
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(e.out, "tau=   0.00144\n");
    EXPECT_EQ(e.err, "STOP too large contribution from emax\n");
}

TEST(Endings, BareStopWritesNothing)
{
    ending e = run("bare-stop");
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(e.out, "tau=   0.00144\n");
    EXPECT_EQ(e.err, "");
}

TEST(Endings, StandardOutputIsCompleteAfterEveryEnding)
{
    for (const char* how : {"big", "big-stop"}) {
        ending e = run(how);
        EXPECT_EQ(e.status, 0) << how;
        EXPECT_EQ(e.out.size(), 15 + 20000 * 17u) << how;
        EXPECT_EQ(e.out.substr(e.out.size() - 17), " row       19999\n") << how;
    }
}

TEST(Endings, InputOutputFailureEndsWithTwo)
{
    ending e = run("io-failure");
    EXPECT_EQ(e.status, 2);
    EXPECT_EQ(e.out, "tau=   0.00144\n");
    EXPECT_EQ(e.err, "cannot open rho.den000 for writing\n");
}

TEST(Endings, UsageErrorShowsTheUsageLine)
{
    ending e = run("usage");
    EXPECT_EQ(e.status, 2);
    EXPECT_EQ(e.err, "temp: not a number: x\nusage: kelvane temp nslice iodevn\n");
}

TEST(Endings, AFullDiskIsNeverAQuietSuccess)
{
    // Every ending, the normal return from main included, sees that standard
    // output could not be written and ends with status 2 and a report.
    for (const char* how : {"", "big", "flush", "stop", "big-stop", "bare-stop"}) {
        ending e = run(how, "/dev/full");
        EXPECT_EQ(e.status, 2) << how;
        EXPECT_NE(e.err.find("cannot write to standard output"), std::string::npos) << how << ": " << e.err;
        EXPECT_EQ(e.err.find("STOP"), std::string::npos) << how;
        EXPECT_EQ(e.err.find("standard output", e.err.find("standard output") + 1), std::string::npos)
            << "reported twice: " << e.err;
    }
    ending e = run("io-failure", "/dev/full");
    EXPECT_EQ(e.status, 2);
    EXPECT_EQ(e.err, "cannot open rho.den000 for writing\n");
}

}  // namespace
