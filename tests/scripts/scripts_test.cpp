// The plot scripts: what they hand to gnuplot (theta, the quantity, the
// scan energies of one displacement), the complaints about input that cannot
// be drawn or a missing gnuplot, and, where gnuplot is installed, that a
// PNG really appears.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string plot_plane = TOOLKIT_SOURCE_DIR "/scripts/plot-plane";
const std::string plot_scan = TOOLKIT_SOURCE_DIR "/scripts/plot-scan";

std::string slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct shell_result {
    int status = -1;
    std::string out, err;
};

bool gnuplot_installed()
{
    return std::system("command -v gnuplot >/dev/null 2>&1") == 0;
}

bool is_png(const fs::path& p)
{
    const std::string data = slurp(p);
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
        std::string tmpl = (fs::temp_directory_path() / "scripts-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        data_ = tmpl;
        ASSERT_EQ(std::system(("cd '" + data_.string() + "' && '" TOOLKIT_BIN_DIR
                               "/kelvane' 10 16 -1 0 1 27.877 14.512 9.285 9 >/dev/null && '" TOOLKIT_BIN_DIR
                               "/brantor'")
                                  .c_str()),
                  0);
        std::ofstream(data_ / "fake-gnuplot") << "#!/bin/sh\n"
                                                 "for a; do printf '%s\\n' \"$a\" >>\"$FAKE_LOG\"; done\n"
                                                 "for a; do case $a in\n"
                                                 "  datafile=*) f=${a#datafile=\\'}; cp \"${f%\\'}\" \"$FAKE_LOG.data\" ;;\n"
                                                 "  image=*) f=${a#image=\\'}; echo fake >\"${f%\\'}\" ;;\n"
                                                 "esac; done\n";
        fs::permissions(data_ / "fake-gnuplot", fs::perms::owner_all);
    }
    static void TearDownTestSuite() { fs::remove_all(data_); }

    void SetUp() override
    {
        std::string tmpl = (fs::temp_directory_path() / "scripts-work-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        work_ = tmpl;
        for (const char* f : {"rho.den001", "rho.den000_rho", "fort.33"}) fs::copy_file(data_ / f, work_ / f);
    }
    void TearDown() override { fs::remove_all(work_); }

    // Runs a script in the work folder; gnuplot is `gnuplot` when empty.
    shell_result run(const std::string& script, const std::string& args, const std::string& gnuplot = "")
    {
        const std::string env = gnuplot.empty() ? std::string()
                                                : "GNUPLOT='" + gnuplot + "' FAKE_LOG='" + (work_ / "log").string() + "' ";
        const std::string cmd = "cd '" + work_.string() + "' && " + env + "'" + script + "' " + args + " >'" +
                                (work_ / "out").string() + "' 2>'" + (work_ / "err").string() + "'";
        const int rc = std::system(cmd.c_str());
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, slurp(work_ / "out"), slurp(work_ / "err")};
    }
    shell_result run_fake(const std::string& script, const std::string& args)
    {
        return run(script, args, (data_ / "fake-gnuplot").string());
    }
    std::string logged() const { return slurp(work_ / "log"); }

    static inline fs::path data_;
    fs::path work_;
};

TEST_F(Scripts, APlaneIsDrawnWithItsThetaFromTheFileOrFromItsName)
{
    shell_result r = run_fake(plot_plane, "rho.den001");
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

TEST_F(Scripts, AnEstimatorOfTheCombinedFileGoesToItsOwnImage)
{
    shell_result r = run_fake(plot_plane, "-q esq -o sub.png rho.den001");
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
    ASSERT_EQ(std::system(("cd '" + work_.string() + "' && head -n 5000 rho.den001 >rho.den002").c_str()), 0);
    shell_result r = run_fake(plot_plane, "rho.den002");
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
    shell_result r = run_fake(plot_scan, "0 0 0");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "./scan_0.00_0.00_0.00.png\n");
    EXPECT_NE(logged().find("(0.00, 0.00, 0.00) Å"), std::string::npos) << logged();

    // Four theta blocks of seven chi rows; a row is chi and the energies at
    // phi = 0, 60, ..., 300.  The first rows of theta 0 are lines 1 and 2 of
    // fort.33 (energies -6.3426 and -6.3423).
    std::istringstream data(slurp(work_ / "log.data"));
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
    shell_result r = run_fake(plot_scan, "0.1 .0 0.30 fort.33");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "./scan_0.10_0.00_0.30.png\n");
    const std::string data = slurp(work_ / "log.data");
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

TEST_F(Scripts, AMissingGnuplotIsNamedWithItsDebianPackage)
{
    for (const auto& [script, args] : {std::pair{plot_plane, std::string("rho.den001")},
                                       std::pair{plot_scan, std::string("0 0 0")}}) {
        const shell_result r = run(script, args, "/nonexistent/gnuplot");
        EXPECT_EQ(r.status, 2) << script;
        EXPECT_EQ(r.out, "") << script;
        EXPECT_NE(r.err.find("gnuplot is needed"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("apt-get install gnuplot-nox"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(work_ / "rho.den001.png"));
    EXPECT_FALSE(fs::exists(work_ / "scan_0.00_0.00_0.00.png"));
}

TEST_F(Scripts, GnuplotDrawsAPlaneIntoAPng)
{
    if (!gnuplot_installed()) GTEST_SKIP() << "gnuplot is not installed (Debian: gnuplot-nox)";
    for (const char* args : {"rho.den001", "-q eng -o eng.png rho.den001", "rho.den000_rho"}) {
        const shell_result r = run(plot_plane, args);
        ASSERT_EQ(r.status, 0) << args << ": " << r.err;
        ASSERT_FALSE(r.out.empty());
        EXPECT_TRUE(is_png(work_ / r.out.substr(0, r.out.size() - 1))) << r.out;
    }
}

TEST_F(Scripts, GnuplotDrawsTheScanOfADisplacementIntoAPng)
{
    if (!gnuplot_installed()) GTEST_SKIP() << "gnuplot is not installed (Debian: gnuplot-nox)";
    const shell_result r = run(plot_scan, "-o scan.png 0.5 0.5 0.5");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "scan.png\n");
    EXPECT_TRUE(is_png(work_ / "scan.png"));
}

}  // namespace
