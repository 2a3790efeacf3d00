// Runs a built program over the cases of tests/data/levels/PROGRAM.cases and
// compares its standard output, standard error and exit status with those
// recorded beside them (made once by tests/data/levels/make.sh).
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/files.hpp"
#include "tests/support/paths.hpp"
#include "tests/support/process.hpp"

namespace program_cases {

using run_result = test_support::folder_run;

// The program runs in an empty folder; args are shell words.
inline run_result run(const std::string& program, const std::string& args)
{
    return test_support::run_in_fresh_folder(test_support::program_path(program), {.args = test_support::split_words(args)});
}

struct test_case {
    std::string name, args;
};

inline std::vector<test_case> read_cases(const std::string& program)
{
    std::ifstream in(test_support::test_data_path("levels/" + program + ".cases"));
    std::vector<test_case> cases;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const auto bar = line.find('|');
        cases.push_back({line.substr(0, bar), line.substr(bar + 1)});
    }
    return cases;
}

inline void check_all(const std::string& program)
{
    using test_support::read_file;
    const auto cases = read_cases(program);
    ASSERT_FALSE(cases.empty());
    const auto data = test_support::test_data_path("levels/" + program);
    for (const test_case& c : cases) {
        SCOPED_TRACE(program + " case " + c.name + ": " + c.args);
        const run_result r = run(program, c.args);
        EXPECT_EQ(r.out, read_file(data / (c.name + ".out")));
        EXPECT_EQ(r.err, read_file(data / (c.name + ".err")));
        EXPECT_EQ(r.status, std::stoi(read_file(data / (c.name + ".rc"))));
        EXPECT_TRUE(r.files.empty());
        // A rejected run prints nothing on standard output and says why.
        if (r.status == 2) {
            EXPECT_TRUE(r.out.empty());
            EXPECT_FALSE(r.err.empty());
        }
    }
}

}  // namespace program_cases
