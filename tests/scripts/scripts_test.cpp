// The plot scripts: what they hand to gnuplot (theta, the quantity, the
// scan energies of one displacement), the complaints about input that cannot
// be drawn or a missing gnuplot, and, where gnuplot is installed, that a
// PNG really appears.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/files.hpp"
#include "tests/support/paths.hpp"
#include "tests/support/process.hpp"
#include "tests/support/temp_folder.hpp"

namespace {

using namespace test_support;

const fs::path plot_plane = source_path("scripts/plot-plane");
const fs::path plot_scan = source_path("scripts/plot-scan");
const fs::path plot_blocking = source_path("scripts/plot-blocking");

bool is_png(const fs::path& p)
{
    const std::string data = read_file(p);
    return data.size() > 1000 && data.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0;
}

// One work folder per test, holding a plane of kelvane and brantor's scan
// file, made once for the whole suite, and a stand-in for gnuplot that
// records its -e definitions and the data it was given, and writes a small
// file where the image should go.
class Scripts : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        data_ = std::make_unique<temp_folder>("scripts");
        const run_result plane =
            run_program(program_path("kelvane"), {.cwd = data_->path(), .args = split_words("10 16 -1 0 1 27.877 14.512 9.285 9")});
        ASSERT_EQ(plane.status, 0) << plane.describe();
        if (fs::exists(program_path("kelvane-export"))) {
            const run_result table = run_program(
                program_path("kelvane"),
                {.cwd = data_->path(), .args = split_words("--hdf5 t.h5 10 16 -1 0 1 27.877 14.512 9.285 9")});
            ASSERT_EQ(table.status, 0) << table.describe();
        }
        const run_result scan = run_program(program_path("brantor"), {.cwd = data_->path()});
        ASSERT_EQ(scan.status, 0) << scan.describe();
        write_file(*data_ / "fake-gnuplot", "#!/bin/sh\n"
                                            "for a; do printf '%s\\n' \"$a\" >>\"$FAKE_LOG\"; done\n"
                                            "for a; do case $a in\n"
                                            "  datafile=*) f=${a#datafile=\\'}; cp \"${f%\\'}\" \"$FAKE_LOG.data\" ;;\n"
                                            "  image=*) f=${a#image=\\'}; echo fake >\"${f%\\'}\" ;;\n"
                                            "esac; done\n");
        fs::permissions(*data_ / "fake-gnuplot", fs::perms::owner_all);
    }
    static void TearDownTestSuite() { data_.reset(); }

    void SetUp() override
    {
        for (const char* f : {"rho.den001", "rho.den000_rho", "fort.33"}) fs::copy_file(*data_ / f, work_ / f);
    }

    // Runs a script in the work folder; gnuplot is `gnuplot` when empty.
    run_result run(const fs::path& script, const std::string& args, const std::string& gnuplot = "")
    {
        run_options o{.cwd = work_.path(), .args = split_words(args)};
        if (!gnuplot.empty()) o.environment = {"GNUPLOT=" + gnuplot, "FAKE_LOG=" + (work_ / "log").string()};
        return run_program(script, o);
    }
    run_result run_fake(const fs::path& script, const std::string& args)
    {
        return run(script, args, (*data_ / "fake-gnuplot").string());
    }
    std::string logged() const { return read_file(work_ / "log"); }

    // average's report with the tables asked for, on the correlated test file,
    // saved as `name` in the work folder.
    void save_average_report(const std::string& options, const std::string& name)
    {
        fs::copy_file(test_data_path("average/errors/correlated.eng"), work_ / "wd.eng");
        const run_result r = run_program(program_path("average"),
                                         {.cwd = work_.path(), .args = split_words(options + " 50"),
                                          .stdout_file = work_ / name});
        ASSERT_EQ(r.status, 0) << r.describe();
        fs::remove(work_ / "wd.eng");
    }

    static inline std::unique_ptr<temp_folder> data_;
    temp_folder work_{"scripts-work"};
};

TEST_F(Scripts, APlaneIsDrawnWithItsThetaFromTheFileOrFromItsName)
{
    run_result r = run_fake(plot_plane, "rho.den001");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "./rho.den001.png\n");
    EXPECT_TRUE(fs::exists(work_ / "rho.den001.png"));
    EXPECT_NE(logged().find("heading='rho.den001:  density {/Symbol r}  at {/Symbol q} = 1°'"), std::string::npos)
        << logged();
    EXPECT_NE(logged().find("using_spec='2:3:4'"), std::string::npos) << logged();

    // A single-column file: theta 000 from the name, the grid from the line number.
    fs::remove(work_ / "log");
    r = run_fake(plot_plane, "rho.den000_rho");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "./rho.den000.png\n");
    EXPECT_NE(logged().find("{/Symbol q} = 0°'"), std::string::npos) << logged();
    EXPECT_NE(logged().find("using_spec='(int($0)/361):(int($0)%361):1'"), std::string::npos) << logged();
}

TEST_F(Scripts, APlaneOfATableIsDrawnFromTheTextFileKelvaneWritesForIt)
{
    if (!fs::exists(program_path("kelvane-export"))) GTEST_SKIP() << "kelvane-export is not built (no HDF5)";
    fs::copy_file(*data_ / "t.h5", work_ / "t.h5");
    auto table_plot = [&](const std::string& args, const std::string& path) {
        return run_program(plot_plane, {.cwd = work_.path(),
                                        .args = split_words(args),
                                        .environment = {"GNUPLOT=" + (*data_ / "fake-gnuplot").string(),
                                                        "FAKE_LOG=" + (work_ / "log").string(), "PATH=" + path}});
    };
    // kelvane-export found on the PATH.
    const std::string path = program_path("kelvane-export").parent_path().string() + ":/usr/bin:/bin";
    run_result r = table_plot("-q eng t.h5 1", path);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "./t_001_eng.png\n");
    EXPECT_TRUE(read_file(work_ / "log.data") == read_file(work_ / "rho.den001")) << "gnuplot was not given the plane";
    EXPECT_NE(logged().find("heading='t.h5:  energy estimator / cm^{-1}  at {/Symbol q} = 1°'"), std::string::npos)
        << logged();
    EXPECT_NE(logged().find("using_spec='2:3:5'"), std::string::npos) << logged();

    r = table_plot("t.h5 2", path);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot take plane 2 out of the table"), std::string::npos) << r.err;
    r = table_plot("t.h5 1", "/usr/bin:/bin");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("kelvane-export is needed"), std::string::npos) << r.err;
}

TEST_F(Scripts, AnEstimatorOfTheCombinedFileGoesToItsOwnImage)
{
    run_result r = run_fake(plot_plane, "-q esq -o sub.png rho.den001");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "sub.png\n");
    EXPECT_NE(logged().find("using_spec='2:3:6'"), std::string::npos) << logged();

    r = run_fake(plot_plane, "-q eng rho.den001");
    EXPECT_EQ(r.out, "./rho.den001_eng.png\n");
    EXPECT_NE(logged().find("using_spec='2:3:5'"), std::string::npos) << logged();

    // A single-column file holds only its own quantity.
    r = run_fake(plot_plane, "-q eng rho.den000_rho");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("holds rho only"), std::string::npos) << r.err;
}

TEST_F(Scripts, APlaneThatIsNotWholeIsRefused)
{
    const std::string plane = read_file(work_ / "rho.den001");
    std::size_t end = 0;
    for (int line = 0; line < 5000; ++line) end = plane.find('\n', end) + 1;
    write_file(work_ / "rho.den002", plane.substr(0, end));
    run_result r = run_fake(plot_plane, "rho.den002");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("not a complete plane: 5000 points"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(work_ / "rho.den002.png"));

    r = run_fake(plot_plane, "fort.33");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("not a kelvane plane file"), std::string::npos) << r.err;

    r = run_fake(plot_plane, "rho.den404");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot read the plane file"), std::string::npos) << r.err;
}

TEST_F(Scripts, TheScanPlotGetsTheEnergiesOfOneDisplacementByThetaChiAndPhi)
{
    run_result r = run_fake(plot_scan, "0 0 0");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "./scan_0.00_0.00_0.00.png\n");
    EXPECT_NE(logged().find("(0.00, 0.00, 0.00) Å"), std::string::npos) << logged();

    // Four theta blocks of seven chi rows; a row is chi and the energies at
    // phi = 0, 60, ..., 300.  The first rows of theta 0 are lines 1 and 2 of
    // fort.33 (energies -6.3426 and -6.3423).
    std::istringstream data(read_file(work_ / "log.data"));
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(data, line);) {
        if (line.empty()) continue;
        std::istringstream words(line);
        rows.emplace_back();
        for (std::string w; words >> w;) rows.back().push_back(w);
    }
    ASSERT_EQ(rows.size(), 28u);
    for (const auto& row : rows) EXPECT_EQ(row.size(), 7u);
    EXPECT_EQ(rows[0][0], "0");
    EXPECT_EQ(rows[0][1], "-6.3426");
    EXPECT_EQ(rows[1][0], "60");
    EXPECT_EQ(rows[1][1], "-6.3423");
    EXPECT_EQ(rows[6][0], "360");
    EXPECT_EQ(rows[6][1], "-6.3426");
}

TEST_F(Scripts, TheScanDisplacementIsMatchedAsTheScanPrintsIt)
{
    // 0.3 is held as 0.30000000000000004 by the scan and printed 0.30.
    run_result r = run_fake(plot_scan, "0.1 .0 0.30 fort.33");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "./scan_0.10_0.00_0.30.png\n");
    const std::string data = read_file(work_ / "log.data");
    EXPECT_EQ(std::count(data.begin(), data.end(), '\n'), 28 + 8);   // rows, and two blank lines per block

    r = run_fake(plot_scan, "0.7 0 0");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("no line of fort.33 has the displacement"), std::string::npos) << r.err;

    r = run_fake(plot_scan, "x 0 0");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("three numbers in angstrom"), std::string::npos) << r.err;

    r = run_fake(plot_scan, "0 0 0 missing.33");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("run brantor first"), std::string::npos) << r.err;
}

TEST_F(Scripts, TheBlockingPlotGetsEveryLevelAndTheChosenBlockSizes)
{
    save_average_report("--temp 10 --nslice 64 --molecules 2 --errors --blocking", "errors.txt");
    run_result r = run_fake(plot_blocking, "errors.txt");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "./errors-blocking.png\n");
    // Erot reaches no plateau on that file; the others do at 64 or 32 records.
    EXPECT_NE(logged().find("chosen='64 64 64 0 64 32 64'"), std::string::npos) << logged();
    const std::vector<std::string> rows = lines_of(read_file(work_ / "log.data"));
    ASSERT_EQ(rows.size(), 10u);   // 1500 records: blocks of 1 to 512
    EXPECT_EQ(split_words(rows[9]).size(), 16u);
    EXPECT_EQ(split_words(rows[9])[0], "512");

    // Without the error table nothing is marked.
    save_average_report("--blocking", "levels.txt");
    r = run_fake(plot_blocking, "-o levels.png levels.txt");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(logged().find("chosen='0 0 0 0 0 0 0'"), std::string::npos) << logged();

    save_average_report("--errors", "no-levels.txt");
    r = run_fake(plot_blocking, "no-levels.txt");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("holds no blocking table"), std::string::npos) << r.err;
    r = run_fake(plot_blocking, "missing.txt");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot read the report file"), std::string::npos) << r.err;
}

TEST_F(Scripts, AMissingGnuplotIsNamedWithItsDebianPackage)
{
    write_file(work_ / "report.txt", "\n# block_size blocks\n 1 2 3 4\n");
    for (const auto& [script, args] : {std::pair{plot_plane, std::string("rho.den001")},
                                       std::pair{plot_scan, std::string("0 0 0")},
                                       std::pair{plot_blocking, std::string("report.txt")}}) {
        const run_result r = run(script, args, "/nonexistent/gnuplot");
        EXPECT_EQ(r.status, 2) << script;
        EXPECT_EQ(r.out, "") << script;
        EXPECT_NE(r.err.find("gnuplot is needed"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("apt-get install gnuplot-nox"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(work_ / "rho.den001.png"));
    EXPECT_FALSE(fs::exists(work_ / "scan_0.00_0.00_0.00.png"));
    EXPECT_FALSE(fs::exists(work_ / "report-blocking.png"));
}

TEST_F(Scripts, GnuplotDrawsAPlaneIntoAPng)
{
    if (!find_program("gnuplot")) GTEST_SKIP() << "gnuplot is not installed (Debian: gnuplot-nox)";
    for (const char* args : {"rho.den001", "-q eng -o eng.png rho.den001", "rho.den000_rho"}) {
        const run_result r = run(plot_plane, args);
        ASSERT_EQ(r.status, 0) << args << ": " << r.err;
        ASSERT_FALSE(r.out.empty());
        EXPECT_TRUE(is_png(work_ / r.out.substr(0, r.out.size() - 1))) << r.out;
    }
}

TEST_F(Scripts, GnuplotDrawsTheScanOfADisplacementIntoAPng)
{
    if (!find_program("gnuplot")) GTEST_SKIP() << "gnuplot is not installed (Debian: gnuplot-nox)";
    const run_result r = run(plot_scan, "-o scan.png 0.5 0.5 0.5");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "scan.png\n");
    EXPECT_TRUE(is_png(work_ / "scan.png"));
}

TEST_F(Scripts, GnuplotDrawsTheBlockingIntoAPng)
{
    if (!find_program("gnuplot")) GTEST_SKIP() << "gnuplot is not installed (Debian: gnuplot-nox)";
    save_average_report("--errors --blocking", "errors.txt");
    const run_result r = run(plot_blocking, "errors.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "./errors-blocking.png\n");
    EXPECT_TRUE(is_png(work_ / "errors-blocking.png"));
}

}  // namespace
