// Whatever a script hands the four programs on their command lines, each run
// ends by itself, never through a signal: with status 0 (a completed run or a
// stop, whose message starts with "STOP "), or with status 2 and a message on
// standard error.  An argument error leaves standard output empty.
//
// The argument lists are generated from a fixed seed, so a failure repeats.
// HARDENING_SCALE=n multiplies their number for a longer run by hand.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/support/files.hpp"
#include "tests/support/paths.hpp"
#include "tests/support/process.hpp"
#include "tests/support/temp_folder.hpp"

namespace {

using namespace test_support;

// Items a careless or corrupted script may put where a number belongs.
const std::vector<std::string> hostile_items = {
    // nothing, blanks and signs alone
    "", " ", "   ", "\t", "+", "-", "+-", "-+", ".", "+.", "e", "d", "E5", "D2",
    // integers, well and badly formed
    "0", "1", "2", "4", "-1", "-0", "+0", "007", "+4", " 4", "4 ", "\t4", "2.0", "4.", "1e1",
    "2147483647", "2147483648", "-2147483648", "-2147483649", "99999999999999999999999999", "877", "1000000",
    // 31 characters: the window of 30 cuts them
    "1234567890123456789012345678901", "0.000000000000000000000000000012", "4                             9",
    "                              4", "123456789012345678901234567890.5",
    // reals, with D exponents
    "10", "10.", ".5", "1e2", "1E2", "1d2", "1D2", "3.0D2", "1.5D+03", "-3.0d2", "1d", "1d+", "1e-400", "1e400",
    "1d308", "1e-300", "4.9e-324", "1.7976931348623157e308", "-1e300", "27.877", "14.512", "9.285",
    "-h", "--help", "nan", "NaN", "inf", "-inf", "Infinity", "0x10", "1e5.5", "--1", "1..2", "3*5", "1;2",
    // commas and slashes
    ",", "/", ",,", "4,", "4/", ",4", "/4", "4,5", "4/5", "10,2 -1", "1/0", "1,e",
    // bytes outside ASCII
    "\xff", "\xc3\xa9", "4\xa0", "\x80\x80", "\xef\xbc\x91", "\xef\xbb\xbf" "4", "1\x7f", "\x01", "\x1b[2J",
};

// Arguments of a short run that asks for no plane (ithe1 > ithe2).
const std::vector<std::string> level_run = {"10", "2", "-1", "1", "0", "27.877", "14.512", "9.285", "4"};

std::string shown(const std::vector<std::string>& args)
{
    std::string s;
    for (const auto& a : args) {
        s += " '";
        for (unsigned char c : a) {
            if (c >= 0x20 && c < 0x7f && c != '\'') {
                s += static_cast<char>(c);
            } else {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02x", c);
                s += hex;
            }
        }
        s += "'";
    }
    return s;
}

class argument_lists {
public:
    explicit argument_lists(std::uint64_t seed) : rng_(seed) {}

    // A list built from `base` in one of four ways: a few arguments replaced,
    // an entirely random list, the list cut short (and perhaps extended), or
    // arguments glued together from two items.
    std::vector<std::string> next(const std::vector<std::string>& base)
    {
        std::vector<std::string> args = base;
        switch (pick(4)) {
        case 0:
            for (int n = 1 + pick(3); n > 0 && !args.empty(); --n) args[pick(args.size())] = item();
            break;
        case 1:
            args.resize(pick(12));
            for (auto& a : args) a = item();
            break;
        case 2:
            args.resize(pick(args.size() + 1));
            for (int n = pick(3); n > 0; --n) args.push_back(item());
            break;
        default:
            if (!args.empty()) args[pick(args.size())] = item() + item();
            if (!args.empty()) args[pick(args.size())] = item() + (pick(2) ? "," : " ") + item();
            break;
        }
        return args;
    }

private:
    int pick(std::size_t n) { return static_cast<int>(rng_() % n); }
    std::string item() { return hostile_items[static_cast<std::size_t>(pick(hostile_items.size()))]; }

    std::mt19937_64 rng_;
};

int scale()
{
    const char* s = std::getenv("HARDENING_SCALE");
    const int n = s ? std::atoi(s) : 1;
    return n > 0 ? n : 1;
}

// Runs `count` generated lists through the program in one working directory
// holding `files`, which is laid anew before every run.
void try_argument_lists(const std::string& program, const std::vector<std::string>& base, int count,
                        const std::vector<std::pair<std::string, std::string>>& files = {})
{
    temp_folder dir(program + "_args");
    const fs::path work = dir.path() / "work";
    argument_lists lists(0x6b656c76616e65ULL ^ std::hash<std::string>{}(program));
    int completed = 0, stopped = 0, errors = 0;
    for (int k = 0; k < count; ++k) {
        fs::remove_all(work);
        fs::create_directories(work);
        for (const auto& [name, content] : files) write_file(work / name, content);
        run_options o;
        o.cwd = work;
        o.args = lists.next(base);
        // A list that happens to ask for planes must not fill the disk: the
        // first plane file ends at this limit, which is itself a failure the
        // program has to report.
        o.file_size_limit = 1 << 20;
        o.time_limit = 60;
        const run_result r = run_program(program_path(program), o);
        const std::string where = program + shown(o.args) + ": " + r.describe();

        ASSERT_FALSE(r.timed_out) << where;
        ASSERT_TRUE(r.exited) << where;
        ASSERT_TRUE(r.status == 0 || r.status == 2) << where;
        if (r.status == 2) {
            EXPECT_FALSE(r.err.empty()) << where;
            ++errors;
            if (r.err.find("usage:") != std::string::npos) {
                EXPECT_EQ(r.out, "") << where;
            }
        } else if (r.err.rfind("STOP ", 0) == 0) {
            ++stopped;
        } else {
            ++completed;
            if (program != "average") {
                EXPECT_EQ(r.err, "") << where;
            }
        }
        for (const auto& name : file_names(work))
            EXPECT_EQ(name.find(".part"), std::string::npos) << where << ": left " << name;
    }
    std::printf("%s: %d argument lists: %d completed, %d stopped, %d ended with status 2\n", program.c_str(), count,
                completed, stopped, errors);
}

TEST(CommandLine, KelvaneEndsCleanlyOnAnyArguments)
{
    try_argument_lists("kelvane", level_run, 400 * scale());
}

TEST(CommandLine, SodrelEndsCleanlyOnAnyArguments)
{
    try_argument_lists("sodrel", level_run, 400 * scale());
}

TEST(CommandLine, AverageEndsCleanlyOnAnyArguments)
{
    try_argument_lists("average", {"1"}, 400 * scale(),
                       {{"wd.eng", "0 99 99 99 99 99 99 99 99 99\n"
                                   "1 10 -20 -10 5 0 -5 30 0 0\n"
                                   "2 14 -22 -8 7 0 -1 34 0 0\n"}});
}

// A temperature so small that beta = 1/(kB temp) overflows, or rotational
// constants so large that the levels do: nothing a run would print or write
// from them means anything, and a passing cutoff test would read as "jmax is
// enough".  Refused with status 2 and no file; the time step before anything
// is printed.
TEST(CommandLine, RunsWhoseTimeStepOrLevelsAreNotFiniteAreRefused)
{
    const std::pair<std::string, std::string> runs[] = {
        {"kelvane", "1e-310 16 -1 45 45 27.877 14.512 9.285 9"},
        {"sodrel", "1e-310 16 -1 0 0 27.877 14.512 9.285 9"},
        {"kelvane", "10 16 -1 45 45 1e308 1e308 1e308 9"},
        {"sodrel", "10 16 -1 0 0 1e308 1e308 1e308 9"},
    };
    for (const auto& [program, args] : runs) {
        SCOPED_TRACE(program + " " + args);
        const folder_run r = run_in_fresh_folder(program_path(program), {.args = split_words(args)});
        EXPECT_EQ(r.status, 2) << r.describe();
        EXPECT_NE(r.err.find(program + ": "), std::string::npos) << r.err;
        EXPECT_TRUE(r.files.empty());
        EXPECT_EQ(r.out.find("emax="), std::string::npos) << r.out;
        if (args.starts_with("1e-310")) {
            EXPECT_EQ(r.out, "");
        }
    }
}

// brantor reads no argument; a few lists show that none of them matters.
TEST(CommandLine, BrantorIgnoresAnyArguments)
{
    temp_folder dir("brantor_args");
    run_options o;
    o.cwd = dir.path();
    const run_result reference = run_program(program_path("brantor"), o);
    ASSERT_TRUE(reference.exited && reference.status == 0) << reference.describe();
    const std::string scan = read_file(dir.path() / "fort.33");
    argument_lists lists(7);
    for (int k = 0; k < 6; ++k) {
        o.args = lists.next(level_run);
        const run_result r = run_program(program_path("brantor"), o);
        ASSERT_TRUE(r.exited && r.status == 0) << "brantor" << shown(o.args) << ": " << r.describe();
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(read_file(dir.path() / "fort.33") == scan) << "brantor" << shown(o.args);
    }
}

}  // namespace
