// The sodrel program: its verdict on jmax, its stops, and its agreement with
// the cutoff test of kelvane.
#include "tests/kelvane/program_cases.hpp"

using program_cases::run;

TEST(SodrelProgram, RecordedRunsAreReproducedByteForByte) { program_cases::check_all("sodrel"); }

// With three positive constants the highest level lies in J = jmax, so both
// programs print the same tau=, jmax= and emax lines.
TEST(SodrelProgram, PrintsTheCutoffLinesOfKelvane)
{
    for (const char* args : {"10 128 -1 1 0 27.877 14.512 9.285 30", "10 128 -1 1 0 27.877 14.512 9.285 24",
                             "40 8 0 1 0 27.877 14.512 9.285 17", "10 64 -1 1 0 10.25 5.5 10.25 12"}) {
        const auto k = run("kelvane", args);
        const auto s = run("sodrel", args);
        std::istringstream in(k.out);
        std::string expected;
        for (std::string line; std::getline(in, line);)
            if (line.rfind("tau=", 0) == 0 || line.rfind(" jmax=", 0) == 0 || line.rfind(" emax=", 0) == 0)
                expected += line + "\n";
        EXPECT_EQ(s.out, expected) << args;
        EXPECT_EQ(s.status, 0);
        // Both pass or both stop on emax.
        EXPECT_EQ(s.err, k.err.rfind("STOP too large", 0) == 0 ? k.err : std::string()) << args;
    }
}

TEST(SodrelProgram, ThetaArgumentsChangeNothing)
{
    const auto plain = run("sodrel", "10 128 -1 0 0 27.877 14.512 9.285 30");
    for (const char* theta : {"5 1", "-3 7", "-9 -7", "0 400"}) {
        const auto r = run("sodrel", std::string("10 128 -1 ") + theta + " 27.877 14.512 9.285 30");
        EXPECT_EQ(r.out, plain.out) << theta;
        EXPECT_EQ(r.err, plain.err) << theta;
        EXPECT_EQ(r.status, 0) << theta;
    }
}
