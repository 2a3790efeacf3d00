// kelvane-mpi under mpirun beside kelvane: the same files and report whatever
// the number of ranks, the same table with --hdf5, the stops once, failures
// that end the whole job with the completed planes intact; and the job-array
// way of splitting a table into independent kelvane runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#if KELVANE_HAS_HDF5
#include "tests/kelvane_hdf5/tables.hpp"
#endif
#include "tests/support/files.hpp"
#include "tests/support/paths.hpp"
#include "tests/support/process.hpp"
#include "tests/support/temp_folder.hpp"

namespace {

using namespace test_support;

const std::string water = " 27.877 14.512 9.285 ";

run_result kelvane(const temp_folder& f, const std::string& args)
{
    return run_program(program_path("kelvane"), {.cwd = f.path(), .args = split_words(args)});
}

// Where kelvane-mpi was not built, or mpirun is missing, the tests say so and
// are skipped.
bool mpi_available()
{
    const std::string mpiexec = MPIEXEC;
    return !mpiexec.empty() && access(mpiexec.c_str(), X_OK) == 0 && access(program_path("kelvane-mpi").c_str(), X_OK) == 0;
}

#define REQUIRE_MPI()                                                                    \
    if (!mpi_available()) GTEST_SKIP() << "kelvane-mpi or mpirun is not available"

run_result kelvane_mpi(const temp_folder& f, int ranks, const std::string& args, const std::string& env = "")
{
    std::vector<std::string> launcher{"--oversubscribe"};
    if (geteuid() == 0) launcher.push_back("--allow-run-as-root");
    launcher.insert(launcher.end(), {"-np", std::to_string(ranks), program_path("kelvane-mpi").string()});
    for (const std::string& a : split_words(args)) launcher.push_back(a);
    return run_program(MPIEXEC, {.cwd = f.path(), .args = launcher, .environment = split_words(env)});
}

bool is_progress(const std::string& line)
{
    return line.size() > 1 && line.find_first_not_of(' ') != std::string::npos &&
           line.find_first_not_of(" 0123456789") == std::string::npos;
}

// The serial report without what belongs to the planes: the file names and
// the progress lines.
std::vector<std::string> report_of_serial(const std::string& out)
{
    std::vector<std::string> report;
    for (const std::string& line : lines_of(out))
        if (!is_progress(line) && line.rfind("rho.den", 0) != 0) report.push_back(line);
    return report;
}

std::vector<std::string> names_of(const std::string& out)
{
    std::vector<std::string> names;
    for (const std::string& line : lines_of(out))
        if (line.rfind("rho.den", 0) == 0) names.push_back(line);
    return names;
}

// Every plane file is kelvane's, and the report is kelvane's with one line
// per plane in plane order, for each layout of ranks and threads.
using rank_layout = std::pair<int, const char*>;   // ranks, environment

void expect_files_and_report_of_the_serial_run(const std::string& args, const std::vector<rank_layout>& layouts)
{
    temp_folder serial;
    const run_result s = kelvane(serial, args);
    ASSERT_EQ(s.status, 0) << s.err;
    const auto expected = files_in(serial.path());
    ASSERT_FALSE(expected.empty());
    ASSERT_EQ(expected.size() % 4, 0u);

    for (const auto& [ranks, env] : layouts) {
        SCOPED_TRACE(std::to_string(ranks) + " ranks " + env);
        temp_folder f;
        const run_result r = kelvane_mpi(f, ranks, args, env);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(files_in(f.path()) == expected) << "the plane files differ from those of kelvane";
        // The report once, then one line per plane in plane order.
        std::vector<std::string> want = report_of_serial(s.out);
        for (const std::string& name : names_of(s.out)) want.push_back(name);
        EXPECT_EQ(lines_of(r.out), want);
    }
}

}  // namespace

TEST(KelvaneMpi, FilesAndReportAreThoseOfTheSerialRunForOneTwoAndThreeRanks)
{
    REQUIRE_MPI();
    expect_files_and_report_of_the_serial_run("10 8 -1 0 2" + water + "10",
                                              {{1, ""}, {2, "KELVANE_THREADS=1 "}, {3, ""}, {2, "KELVANE_THREADS=2 "}});
}

TEST(KelvaneMpi, TheFourierOptionGivesTheFilesOfTheSerialRunToo)
{
    REQUIRE_MPI();
    expect_files_and_report_of_the_serial_run("--fourier 10 32 -1 89 90" + water + "14",
                                              {{2, "KELVANE_THREADS=1 "}, {3, ""}});
}

#if KELVANE_HAS_HDF5
// Rank 0 writes the table from the planes of every rank: the serial run's
// values, the serial run's report and plane names; and a table in the way
// refused once, before any work, with nothing left behind.
TEST(KelvaneMpi, TheTableHoldsTheSerialRunsValuesForOneTwoAndThreeRanks)
{
    REQUIRE_MPI();
    const std::string args = "--hdf5 t.h5 10 8 -1 0 2" + water + "10";
    temp_folder serial;
    const run_result s = kelvane(serial, args);
    ASSERT_EQ(s.status, 0) << s.err;
    std::vector<std::string> want = report_of_serial(s.out);
    for (const std::string& name : names_of(s.out)) want.push_back(name);
    for (const auto& [ranks, env] : std::vector<rank_layout>{{1, ""}, {2, "KELVANE_THREADS=1"}, {3, ""}}) {
        SCOPED_TRACE(std::to_string(ranks) + " ranks " + env);
        temp_folder f;
        const run_result r = kelvane_mpi(f, ranks, args, env);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(lines_of(r.out), want);
        EXPECT_EQ(file_names(f.path()), std::vector<std::string>{"t.h5"});
        table_checks::expect_same_values(serial / "t.h5", f / "t.h5");
    }

    temp_folder f;
    fs::create_directory(f / "t.h5");
    const run_result r = kelvane_mpi(f, 3, args);
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("kelvane-mpi: cannot write t.h5: it is a directory"), std::string::npos) << r.err;
    EXPECT_EQ(file_names(f.path()), std::vector<std::string>{"t.h5"});
}
#endif

TEST(KelvaneMpi, StopsAndRefusalsAreThoseOfKelvaneSaidOnce)
{
    REQUIRE_MPI();
    for (const std::string& args : {"10 2 7 0 2" + water + "4",                 // iodevn
                                   "10 128 -1 0 2" + water + "4",              // emax
                                   "10 2 -1 0 2" + water + "877",              // limit of jmax
                                   "10 2 -1 3 2" + water + "6"}) {              // no plane
        SCOPED_TRACE(args);
        temp_folder serial, f;
        const run_result s = kelvane(serial, args);
        const run_result r = kelvane_mpi(f, 3, args);
        EXPECT_EQ(r.status, s.status);
        EXPECT_EQ(r.out, s.out);
        EXPECT_EQ(r.err, s.err);
        EXPECT_TRUE(files_in(f.path()).empty());
    }

    temp_folder f;
    const run_result r = kelvane_mpi(f, 3, "10 2 -1 0 x" + water + "4");
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out, "");
    const std::size_t first = r.err.find("usage: kelvane-mpi");
    ASSERT_NE(first, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("usage: kelvane-mpi", first + 1), std::string::npos) << "said more than once:\n" << r.err;
}

TEST(KelvaneMpi, APlaneBeyondTheGridEndsTheRunAfterThePlanesBeforeIt)
{
    REQUIRE_MPI();
    const std::string args = "10 2 0 178 183" + water + "4";
    temp_folder serial, f;
    const run_result s = kelvane(serial, args);
    const run_result r = kelvane_mpi(f, 2, args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(files_in(f.path()).size(), 12u);
    EXPECT_TRUE(files_in(f.path()) == files_in(serial.path()));
    const auto lines = lines_of(r.out);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(lines.end() - 4, lines.end()),
              (std::vector<std::string>{"rho.den178", "rho.den179", "rho.den180", lines_of(s.out).back()}));
    EXPECT_EQ(lines.back(), " weird ithe         181");
}

// A plane whose file cannot be created (its name leads into a folder that
// does not exist): the rank that meets it fails, the whole job ends with a
// non-zero status, and every plane file standing under its own name is
// complete.  Planes 2 and 3 fall to rank 0 and rank 1.
TEST(KelvaneMpi, AFailingRankEndsTheJobAndLeavesTheCompletedPlanesIntact)
{
    REQUIRE_MPI();
    const std::string args = "10 2 -1 0 5" + water + "4";
    temp_folder serial;
    ASSERT_EQ(kelvane(serial, args).status, 0);
    const auto whole = files_in(serial.path());
    for (const std::string blocked : {"rho.den002_eng", "rho.den003_rho"}) {
        SCOPED_TRACE(blocked);
        temp_folder f;
        fs::create_symlink("missing/" + blocked, f / blocked);
        const run_result r = kelvane_mpi(f, 2, args);
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find("cannot create " + blocked), std::string::npos) << r.err;
        for (const auto& [name, content] : files_in(f.path())) {
            if (name.ends_with(".part") || name == blocked) continue;
            ASSERT_TRUE(whole.count(name)) << name;
            EXPECT_TRUE(content == whole.at(name)) << name << " is not the complete plane file";
        }
        const std::string plane = blocked.substr(0, 10);
        EXPECT_FALSE(files_in(f.path()).count(plane)) << plane;
        // A plane announced is a plane complete.
        for (const std::string& name : names_of(r.out)) EXPECT_TRUE(files_in(f.path()).count(name + "_esq")) << name;
    }
}

// The files of a plane depend only on the arguments, so a table split over
// independent runs (the tasks of a batch system's job array) is the table of
// one run.
TEST(JobArray, PlanesZeroToTwoInThreeRunsAreThoseOfOneRun)
{
    const std::string tail = water + "10";
    temp_folder one, three;
    ASSERT_EQ(kelvane(one, "10 8 -1 0 2" + tail).status, 0);
    for (const char* plane : {"2 2", "0 0", "1 1"}) ASSERT_EQ(kelvane(three, "10 8 -1 " + std::string(plane) + tail).status, 0);
    EXPECT_EQ(files_in(one.path()).size(), 12u);
    EXPECT_TRUE(files_in(one.path()) == files_in(three.path()));
}
