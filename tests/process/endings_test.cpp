// How a program ends: the stop convention, failures, unusable arguments, and
// standard output that cannot be written (a full disk, a pipe whose reader
// has gone).
#include <gtest/gtest.h>

#include <string>

#include "tests/support/process.hpp"

namespace {

using test_support::run_options;
using test_support::run_result;

run_result run(const std::string& how, run_options o = {})
{
    o.args = test_support::split_words(how);
    return test_support::run_program(ENDING_HELPER, o);
}

TEST(Endings, EachEndingWritesItsReportAndStatus)
{
    struct ending {
        const char* how;
        int status;
        const char* err;
    };
    const ending endings[] = {
        {"stop", 0, "STOP too large contribution from emax\n"},
        {"bare-stop", 0, ""},
        {"", 0, ""},
        {"io-failure", 2, "ending_helper: cannot open rho.den000 for writing\n"},
        {"usage", 2, "ending_helper: temp: not a number: x\nusage: kelvane temp nslice iodevn\n"},
    };
    for (const ending& e : endings) {
        const run_result r = run(e.how);
        EXPECT_EQ(r.status, e.status) << e.how << ": " << r.describe();
        EXPECT_EQ(r.out, "tau=   0.00144\n") << e.how;
        EXPECT_EQ(r.err, e.err) << e.how;
    }
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

TEST(Endings, StandardOutputThatCannotBeWrittenIsNeverAQuietEnd)
{
    // Every ending, the normal return included, sees that standard output
    // could not be written and ends with status 2 and one report that names
    // the program and the reason; a failure already on its way keeps its own
    // report.
    const std::pair<run_options, std::string> outputs[] = {
        {{.stdout_file = "/dev/full"}, "No space left on device"},
        {{.stdout_closed_pipe = true}, "Broken pipe"},
    };
    for (const auto& [output, reason] : outputs) {
        for (const char* how : {"", "big", "endless", "flush", "stop", "big-stop", "bare-stop"}) {
            const run_result e = run(how, output);
            EXPECT_TRUE(e.exited) << how << ": " << e.describe();
            EXPECT_EQ(e.status, 2) << how;
            EXPECT_EQ(e.err, "ending_helper: cannot write to standard output: " + reason + "\n") << how;
        }
        const run_result e = run("io-failure", output);
        EXPECT_EQ(e.status, 2);
        EXPECT_EQ(e.err, "ending_helper: cannot open rho.den000 for writing\n");
    }
}

}  // namespace
