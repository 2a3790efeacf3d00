// The average program end to end: report, exit status, messages, and what it
// does to the working directory.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/files.hpp"
#include "tests/support/paths.hpp"
#include "tests/support/process.hpp"
#include "tests/support/temp_folder.hpp"

namespace {

using namespace test_support;

// Runs the program in a fresh directory holding `energy_file` as wd.eng
// (no wd.eng when `with_file` is false); arguments are shell words.
folder_run run(const std::string& arguments, const std::string& energy_file, bool with_file = true,
               const std::string& redirect_out = "")
{
    run_options o{.args = split_words(arguments)};
    if (!redirect_out.empty()) o.stdout_file = redirect_out;
    std::map<std::string, std::string> files;
    if (with_file) files["wd.eng"] = energy_file;
    return run_in_fresh_folder(program_path("average"), o, files);
}

const std::string example = "0 99 99 99 99 99 99 99 99 99\n"
                            "1 10 -20 -10 5 0 -5 30 0 0\n"
                            "2 14 -22 -8 7 0 -1 34 0 0\n";

const std::string example_report =
    " number of points            2\n"
    "Ekin=         12.00000000K  Epot=        -21.00000000K  Ekin+pot=         -9.00000000K  Erot=          "
    "6.00000000K  Ekin+pot+rot=         -3.00000000K  CvE=          32.00000000\n"
    "skin=          2.00000000K  spot=          1.00000000K  skin+pot=          1.00000000K  srot=          "
    "1.00000000K  skin+pot+rot=          2.00000000K  sCvE=          2.00000000\n"
    "<Cv>=     148034.56250000 Kb\n";

TEST(AverageProgram, ReportsTheWorkedExample)
{
    const folder_run r = run("1", example);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, example_report);
    EXPECT_EQ(r.err, "");
}

// Energy files holding the number forms a Fortran simulation writes beyond
// the plain notation (exponents past +-99 without their letter, infinities,
// NaNs, values beyond the double range), with the reports that the same
// averaging written in Fortran prints for them.
TEST(AverageProgram, ReportsWhatTheFortranRuntimeReportsForEveryNumberForm)
{
    const fs::path cases = test_data_path("average/reports");
    std::ifstream list(cases / "cases.txt");
    std::string name, skip;
    int count = 0;
    while (list >> name) {
        if (name.front() == '#') {
            std::getline(list, name);
            continue;
        }
        list >> skip;
        SCOPED_TRACE(name);
        const folder_run r = run(skip, read_file(cases / (name + ".eng")));
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, read_file(cases / (name + ".out")));
        ++count;
    }
    EXPECT_GE(count, 7);
}

TEST(AverageProgram, ZeroOrNegativeSkipUsesEveryRecord)
{
    for (const char* skip : {"0", "-3", "  +0 ignored"}) {
        const folder_run r = run(std::string("'") + skip + "'", example);
        EXPECT_EQ(r.status, 0) << skip;
        EXPECT_EQ(r.out.substr(0, 31), " number of points            3\n") << skip;
    }
}

TEST(AverageProgram, UnusableArgumentStopsBeforeAnyOutput)
{
    for (const char* args : {"", "''", "2.0", "abc", "99999999999"}) {
        const folder_run r = run(args, example);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_NE(r.err, "") << args;
    }
}

TEST(AverageProgram, MissingFileIsAnErrorAndCreatesNothing)
{
    const folder_run r = run("0", "", false);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("wd.eng"), std::string::npos);
    EXPECT_TRUE(r.files.empty());
}

TEST(AverageProgram, EmptyFileReportsNoPointsAndNotANumber)
{
    const folder_run r = run("0", "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, 31), " number of points            0\n");
    EXPECT_NE(r.out.find("<Cv>=                 NaN Kb\n"), std::string::npos);
    EXPECT_EQ(r.err, "");
}

TEST(AverageProgram, FailedSkipStopsWithoutOutput)
{
    for (const char* file : {"1 2\n", "1\nfirst line of text\n1 2 3 4 5 6 7 8 9 10\n"}) {
        const folder_run r = run("2", file);
        EXPECT_EQ(r.status, 2) << file;
        EXPECT_EQ(r.out, "") << file;
        EXPECT_NE(r.err, "") << file;
    }
}

TEST(AverageProgram, UnreadableRecordEndsTheDataWithANoteOnStandardError)
{
    const folder_run r = run("0", "1 2 3 4 5 6 7 8 9 10\n2 3 4 5 6 7 8 9 10 11\nend of run\n3 4 5 6 7 8 9 10 11 12\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, 31), " number of points            2\n");
    EXPECT_NE(r.out.find("<Cv>=     146020.04687500 Kb\n"), std::string::npos);
    EXPECT_NE(r.err.find("line 3"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("2 records used"), std::string::npos) << r.err;

    const folder_run cut = run("0", "1 2 3 4 5 6 7 8 9 10\n2 3 4 5 6 7 8 9 10 11\n\n3 4 5\n");
    EXPECT_EQ(cut.status, 0);
    EXPECT_NE(cut.err.find("line 4"), std::string::npos) << cut.err;
}

TEST(AverageProgram, BothPassesReadRecordsSpreadOverLinesAlike)
{
    const folder_run r = run("0", "  0.1 1.0 2.0 3.0 4.0\n 5.0 6.0 7.0 8.0 9.0\n\n"
                                  "  0.2 1.5 2.5 3.5 4.5 5.5 6.5 7.5 8.5 9.5 77 88\r\n"
                                  "0.3 1.25D0 2.25d0 3.25E0 4.25e0 5.25 6.25 7.25 8.25 9.25\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("skin=          0.20412415K"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("<Cv>=     146258.89453125 Kb"), std::string::npos) << r.out;
}

TEST(AverageProgram, WriteFailuresAreErrors)
{
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(run("1", example, true, "/dev/full").status, 2);
    }
}

// The file is read twice, so a wd.eng that cannot be read again is refused
// before a byte of it is read, and without waiting for a writer.
TEST(AverageProgram, FileThatIsNotARegularFileIsRefusedBeforeAnyOutput)
{
    const temp_folder dir("average");
    const fs::path wd = dir / "wd.eng";
    const run_options o{.cwd = dir.path(), .args = {"0"}, .time_limit = 10};

    fs::create_directories(wd);
    const run_result directory = run_program(program_path("average"), o);
    EXPECT_EQ(directory.status, 2) << directory.describe();
    EXPECT_NE(directory.err.find("wd.eng is a directory, not a regular file"), std::string::npos) << directory.err;
    fs::remove(wd);

    // A FIFO with no writer, and one whose writer waits for a reader, as
    // after `(printf ... > wd.eng &)`.
    ASSERT_EQ(::mkfifo(wd.c_str(), 0644), 0);
    for (bool with_writer : {false, true}) {
        std::atomic<bool> done{false};
        std::thread writer;
        if (with_writer)
            writer = std::thread([&] {
                int fd = -1;
                while (!done && (fd = ::open(wd.c_str(), O_WRONLY | O_NONBLOCK)) < 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                if (fd >= 0) {
                    (void)!::write(fd, "1 2 3 4 5 6 7 8 9 10\n", 21);
                    ::close(fd);
                }
            });
        const run_result r = run_program(program_path("average"), o);
        done = true;
        if (writer.joinable()) writer.join();
        EXPECT_TRUE(r.exited && !r.timed_out && r.status == 2) << r.describe();
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("wd.eng is a pipe (FIFO), not a regular file"), std::string::npos) << r.err;
    }
}

TEST(AverageProgram, StandardInputAsTheFileWorksWhenItIsARegularFile)
{
    const temp_folder dir("average");
    fs::create_symlink("/dev/stdin", dir / "wd.eng");
    write_file(dir / "data", example);
    const run_result file = run_program(program_path("average"), {.cwd = dir.path(), .args = {"1"},
                                                                  .stdin_file = dir / "data"});
    EXPECT_EQ(file.status, 0) << file.describe();
    EXPECT_EQ(file.out, example_report);

    // Standard input from /dev/null: a character device, said as such.
    const run_result device = run_program(program_path("average"), {.cwd = dir.path(), .args = {"1"}});
    EXPECT_EQ(device.status, 2);
    EXPECT_EQ(device.out, "");
    EXPECT_NE(device.err.find("is a character device, not a regular file"), std::string::npos) << device.err;
}

// ---- The settings of the run and the error analysis ----------------------------

TEST(AverageProgram, SettingsOfTheRunChangeOnlyTheHeatCapacity)
{
    for (const char* defaults : {"--temp 4 --nslice 256 --molecules 1 1", "--molecules=1 --temp=4.0 --nslice=+256 1"}) {
        const folder_run r = run(defaults, example);
        EXPECT_EQ(r.status, 0) << defaults;
        EXPECT_EQ(r.out, example_report) << defaults;
    }
    // ((1.5 * 2 * 64 * 10 + 3)^2 + 32) / 10^2
    const folder_run hot = run("--temp 10 --nslice 64 --molecules 2 1", example);
    EXPECT_EQ(hot.status, 0);
    const std::size_t cv = example_report.find("<Cv>=");
    EXPECT_EQ(hot.out, example_report.substr(0, cv) + "<Cv>=      36979.61000000 Kb\n");
}

TEST(AverageProgram, UnusableOptionsAreRefusedWithTheUsageLineBeforeAnyOutput)
{
    for (const char* args : {"--temp 0 1", "--temp -4 1", "--temp abc 1", "--temp inf 1", "--temp 1 --temp", "--temp",
                             "--temp= 1", "--nslice 2.5 1", "--nslice 0 1", "--molecules -1 1", "--molecules 1e2 1",
                             "--nslice 99999999999 1", "--bogus 1", "--errors=yes 1", "--errors"}) {
        const folder_run r = run(args, example);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_NE(r.err.find("usage: average [--temp T]"), std::string::npos) << args << ": " << r.err;
    }
}

TEST(AverageProgram, OptionsAfterTheSkipCountAreIgnoredWithANote)
{
    const folder_run r = run("1 --errors 7", example);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, example_report);
    EXPECT_NE(r.err.find("'--errors' after the skip count is ignored"), std::string::npos) << r.err;
}

// The table that follows the line `header`, to the next blank line or the
// end: the words of each row.
std::vector<std::vector<std::string>> table_after(const std::string& out, const std::string& header)
{
    std::vector<std::vector<std::string>> rows;
    const std::vector<std::string> lines = lines_of(out);
    std::size_t k = 0;
    while (k < lines.size() && lines[k].rfind(header, 0) != 0) ++k;
    for (++k; k < lines.size() && !lines[k].empty(); ++k) rows.push_back(split_words(lines[k]));
    return rows;
}

bool same_number(const std::string& got, const std::string& expected)
{
    if (expected == "NaN") return got == "NaN";
    const double g = std::strtod(got.c_str(), nullptr), e = std::strtod(expected.c_str(), nullptr);
    return std::fabs(g - e) <= 1e-12 * std::fabs(e);
}

// correlated.eng against the analysis made independently in exact arithmetic
// by tests/data/average/errors/make_errors_case.py.
TEST(AverageProgram, ErrorAnalysisAgreesWithTheExactReference)
{
    const fs::path cases = test_data_path("average/errors");
    const folder_run r = run("--temp 10 --nslice 64 --molecules 2 --errors --blocking 50",
                             read_file(cases / "correlated.eng"));
    ASSERT_EQ(r.status, 0) << r.err;
    // the report first, as without the options
    const folder_run plain = run("--temp 10 --nslice 64 --molecules 2 50", read_file(cases / "correlated.eng"));
    EXPECT_EQ(r.out.substr(0, plain.out.size() + 1), plain.out + "\n");
    EXPECT_EQ(r.err, "average: no error bar for Erot: the blocking reaches no plateau, the run is too short for "
                     "the correlation time (see --blocking)\n");

    const std::vector<std::string> expected = lines_of(read_file(cases / "correlated.expected"));
    const std::size_t levels_at = std::find(expected.begin() + 2, expected.end(), expected[9]) - expected.begin();
    const auto errors = table_after(r.out, "# quantity mean sigma/sqrt(N) error error_of_error block_size tau_int "
                                           "effective_samples plateau");
    const auto levels = table_after(r.out, "# block_size blocks Ekin dEkin Epot dEpot");
    ASSERT_EQ(errors.size(), 7u);
    ASSERT_EQ(levels.size(), expected.size() - levels_at - 1);
    for (std::size_t k = 0; k < errors.size() + levels.size(); ++k) {
        const std::vector<std::string>& got = k < errors.size() ? errors[k] : levels[k - errors.size()];
        const std::vector<std::string> want = split_words(expected[k < errors.size() ? 2 + k : levels_at + 1 + k - 7]);
        ASSERT_EQ(got.size(), want.size()) << expected[2 + k];
        for (std::size_t w = 0; w < want.size(); ++w) {
            const bool word = k < errors.size() && (w == 0 || w == 5 || w == 8);   // label, block size, verdict
            if (k >= errors.size() && w < 2) {
                EXPECT_EQ(got[w], want[w]);   // block size and number of blocks
            } else if (word) {
                EXPECT_EQ(got[w], want[w]);
            } else {
                EXPECT_TRUE(same_number(got[w], want[w])) << "row " << k << " column " << w << ": " << got[w]
                                                          << " against " << want[w];
            }
        }
    }
}

TEST(AverageProgram, EachTableOnlyWhenAskedForAndNoErrorBarsWithoutRecords)
{
    const folder_run errors = run("--errors 1", example);
    const folder_run blocking = run("--blocking 1", example);
    EXPECT_EQ(errors.out.substr(0, example_report.size()), example_report);
    EXPECT_EQ(blocking.out.substr(0, example_report.size()), example_report);
    EXPECT_NE(errors.out.find("\n\n# quantity "), std::string::npos);
    EXPECT_EQ(errors.out.find("# block_size"), std::string::npos);
    EXPECT_NE(blocking.out.find("\n\n# block_size "), std::string::npos);
    EXPECT_EQ(blocking.out.find("# quantity"), std::string::npos);
    EXPECT_EQ(blocking.err, "");
    // Two records: a level of two blocks, no plateau.
    EXPECT_EQ(table_after(blocking.out, "# block_size").size(), 1u);
    EXPECT_NE(errors.err.find("no error bar for Ekin, Epot, Ekin+pot, Erot, Ekin+pot+rot, CvE and <Cv>"),
              std::string::npos);

    const folder_run empty = run("--errors --blocking 0", "");
    EXPECT_EQ(empty.status, 0);
    const auto rows = table_after(empty.out, "# quantity");
    ASSERT_EQ(rows.size(), 7u);
    for (const auto& row : rows) EXPECT_EQ(row[1], "NaN");
    EXPECT_TRUE(table_after(empty.out, "# block_size").empty());
    EXPECT_EQ(empty.err, "average: no error bars: no record was used\n");
}

}  // namespace
