// The kelvane program as a user runs it: the report for water, symmetric and
// spherical tops, the stops, and the reading and checking of its arguments.
#include "tests/kelvane/program_cases.hpp"

using program_cases::run;

TEST(KelvaneProgram, RecordedRunsAreReproducedByteForByte) { program_cases::check_all("kelvane"); }

TEST(KelvaneProgram, ArgumentSpellingsOfTheSameRunGiveTheSameReport)
{
    const auto plain = run("kelvane", "10 2 -1 1 0 27.877 14.512 9.285 4");
    ASSERT_EQ(plain.status, 0);
    for (const char* args : {"1.0D1 2,junk -1 1 0 27.877 14.512 9.285 4", "1e1 +2 -1 1 0 27.877D0 14.512 9.285 4",
                             "10/ 2 -1 1 0 27.877 14.512 9.285 0000000000000000000000000000047"}) {
        const auto r = run("kelvane", args);
        EXPECT_EQ(r.out, plain.out) << args;
        EXPECT_EQ(r.status, 0) << args;
    }
}

TEST(KelvaneProgram, OneSliceRepeatsTheBetaFiguresAtTau)
{
    const auto r = run("kelvane", "10 1 -1 1 0 27.877 14.512 9.285 30");
    ASSERT_EQ(r.status, 0);
    std::istringstream in(r.out);
    std::vector<std::string> emax, even, odd;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(" emax=", 0) == 0) emax.push_back(line);
        if (line.rfind("EVEN K:", 0) == 0) even.push_back(line.substr(0, 62));
        if (line.rfind("ODD  K:", 0) == 0) odd.push_back(line.substr(0, 62));
    }
    ASSERT_EQ(emax.size(), 2u);
    EXPECT_EQ(emax[0], emax[1]);
    ASSERT_EQ(even.size(), 2u);
    EXPECT_EQ(even[0], even[1]);
    ASSERT_EQ(odd.size(), 2u);
    EXPECT_EQ(odd[0], odd[1]);
}
