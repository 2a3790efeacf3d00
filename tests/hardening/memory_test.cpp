// Memory that cannot be had.  A kelvane run whose storage is out of reach
// (theta planes at jmax 876 under a limit on its address space) says how
// much it needed and ends with status 2 at once, before it prints or writes
// anything.  Under tight limits every program ends with its report or a
// message, never through a signal: not when a thread cannot be started, not
// when an allocation fails.
//
// AddressSanitizer reserves terabytes of address space for its shadow
// memory, and its operator new ends the process rather than throw, so these
// runs are skipped in a sanitizer build.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "tests/support/files.hpp"
#include "tests/support/paths.hpp"
#include "tests/support/process.hpp"
#include "tests/support/temp_folder.hpp"

namespace {

using namespace test_support;

#define SKIP_IF_SANITIZED()                                                                            \
    if (sanitized_build())                                                                             \
    GTEST_SKIP() << "skipped: an address-space limit leaves no room for AddressSanitizer's shadow memory"

constexpr long long megabyte = 1 << 20;

TEST(Memory, KelvaneSaysHowMuchStorageItNeededBeforeWritingAnything)
{
    SKIP_IF_SANITIZED();
    temp_folder dir("kelvane_memory");
    run_options o;
    o.cwd = dir.path();
    o.args = {"10", "2", "-1", "0", "1", "27.877", "14.512", "9.285", "876"};
    o.address_space_limit = 1024 * megabyte;
    o.time_limit = 60;
    const run_result r = run_program(program_path("kelvane"), o);
    EXPECT_TRUE(r.exited && r.status == 2) << r.describe();
    const std::size_t mb = r.err.find(" MB");
    EXPECT_TRUE(mb != std::string::npos && mb > 0 && std::isdigit(static_cast<unsigned char>(r.err[mb - 1])))
        << "the amount needed: " << r.err;
    EXPECT_NE(r.err.find("876"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(file_names(dir.path()).empty());
    EXPECT_LT(r.seconds, 5.0) << "a run that cannot start should end at once";
}

// Each program at a few address-space limits, from too small to start its
// threads to enough for the whole run.
TEST(Memory, ProgramsUnderTightLimitsEndWithAReportOrAMessage)
{
    SKIP_IF_SANITIZED();
    struct run_case {
        std::string program;
        std::vector<std::string> args;
        std::string wd_eng;
    };
    const std::vector<run_case> cases = {
        // jmax 70 solves its levels on two threads
        {"kelvane", {"10", "2", "-1", "1", "0", "27.877", "14.512", "9.285", "70"}, ""},
        {"kelvane", {"10", "2", "-1", "0", "0", "27.877", "14.512", "9.285", "4"}, ""},
        {"sodrel", {"10", "2", "-1", "1", "0", "27.877", "14.512", "9.285", "70"}, ""},
        {"brantor", {}, ""},
        {"average", {"1"}, "0 99 99 99 99 99 99 99 99 99\n1 10 -20 -10 5 0 -5 30 0 0\n"},
    };
    int runs = 0, not_loaded = 0;
    for (const auto& c : cases) {
        for (const long long limit : {8LL, 12LL, 16LL, 24LL, 32LL, 64LL, 256LL}) {
            temp_folder dir(c.program + "_tight");
            if (!c.wd_eng.empty()) write_file(dir.path() / "wd.eng", c.wd_eng);
            const run_result r = run_program(
                program_path(c.program),
                {.cwd = dir.path(), .args = c.args, .address_space_limit = limit * megabyte, .time_limit = 120});
            ++runs;
            const std::string what = c.program + " under " + std::to_string(limit) + " MB: " + r.describe();
            // Under about 10 MB the system's loader cannot map kelvane, which
            // carries the HDF5 library, with its shared libraries: nothing of
            // the program runs, and the loader ends it with status 127.
            if (limit < 12 && r.exited && r.status == 127 &&
                r.err.find("error while loading shared libraries") != std::string::npos) {
                ++not_loaded;
                continue;
            }
            ASSERT_TRUE(r.exited) << what;
            ASSERT_TRUE(r.status == 0 || r.status == 2) << what;
            if (r.status == 2) {
                EXPECT_FALSE(r.err.empty()) << what;
            } else {
                EXPECT_TRUE(r.err.empty() || r.err.rfind("STOP ", 0) == 0) << what;
            }
        }
    }
    std::printf("runs under address-space limits: %d, of which the loader refused %d\n", runs, not_loaded);
}

}  // namespace
