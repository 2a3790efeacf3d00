// The plane files of a kelvane run, end to end: byte for byte the recorded
// files, the same for any thread count and either evaluation's own, their
// names and layout, the header of plane 0 only, the stop at a plane above
// 180, files that are never left truncated under their own name, four names
// of a plane that appear together or not at all, files in the way refused
// before any work, and symbolic links written through.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "kelvane/density/plane_files.hpp"
#include "process/process.hpp"
#include "tests/support/files.hpp"
#include "tests/support/paths.hpp"
#include "tests/support/process.hpp"
#include "tests/support/temp_folder.hpp"

namespace {

using namespace test_support;

const std::string water = " 27.877 14.512 9.285 ";

// kelvane with the given arguments (shell words) in the folder, under the
// given options (environment, limits).
run_result kelvane(const temp_folder& f, const std::string& args, run_options o = {})
{
    o.cwd = f.path();
    o.args = split_words(args);
    return run_program(program_path("kelvane"), o);
}

run_options threads(const std::string& count) { return {.environment = {"KELVANE_THREADS=" + count}}; }

std::map<std::string, std::string> sha256_of_files(const temp_folder& f)
{
    std::vector<std::string> planes;
    for (const auto& name : file_names(f.path()))
        if (name.rfind("rho.den", 0) == 0) planes.push_back(name);
    std::map<std::string, std::string> sums;
    std::istringstream in(run_program("sha256sum", {.cwd = f.path(), .args = planes}).out);
    for (std::string sum, name; in >> sum >> name;) sums[name] = sum;
    return sums;
}

std::map<std::string, std::string> recorded_sums(const std::string& name)
{
    std::map<std::string, std::string> sums;
    std::istringstream in(read_file(test_data_path("planes/" + name + ".sha256")));
    for (std::string sum, file; in >> sum >> file;) sums[file] = sum;
    return sums;
}

class PlaneFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(program_path("kelvane"))) GTEST_SKIP() << "kelvane is not built";
    }
};

TEST_F(PlaneFiles, AreTheRecordedFilesByteForByteForAnyThreadCount)
{
    for (const std::string name : {"kelvane-water-j4-planes0-1", "kelvane-water-j8-plane90-even"}) {
        const std::string args = lines_of(read_file(test_data_path("planes/" + name + ".args"))).at(0);
        std::string first_out;
        for (int count : {1, 3}) {
            SCOPED_TRACE(name + " with " + std::to_string(count) + " threads");
            temp_folder f;
            const run_result r = kelvane(f, args, threads(std::to_string(count)));
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(sha256_of_files(f), recorded_sums(name));
            if (count == 1) first_out = r.out;
            else EXPECT_EQ(r.out, first_out);
        }
    }
}

TEST_F(PlaneFiles, HaveTheirNamesLayoutAndProgressLines)
{
    for (const auto& [ithe, name] : std::vector<std::pair<int, std::string>>{
             {0, "rho.den000"}, {9, "rho.den009"}, {10, "rho.den010"}, {99, "rho.den099"}, {100, "rho.den100"}, {180, "rho.den180"}})
        EXPECT_EQ(kelvane::plane_file_name(ithe), name);

    temp_folder f;
    const run_result r = kelvane(f, "10 2 1 0 1" + water + "4");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(file_names(f.path()), (std::vector<std::string>{"rho.den000", "rho.den000_eng", "rho.den000_esq", "rho.den000_rho",
                                                    "rho.den001", "rho.den001_eng", "rho.den001_esq", "rho.den001_rho"}));
    // Standard output after the report: per plane its name, then 0..360.
    const auto out = lines_of(r.out);
    const auto at = std::find(out.begin(), out.end(), "rho.den000");
    ASSERT_NE(at, out.end());
    ASSERT_EQ(out.end() - at, 2 * 362);
    for (int plane = 0; plane < 2; ++plane) {
        EXPECT_EQ(at[plane * 362], plane == 0 ? "rho.den000" : "rho.den001");
        for (int row = 0; row <= 360; ++row) EXPECT_EQ(std::stoi(at[plane * 362 + 1 + row]), row);
    }

    const auto all0 = lines_of(read_file(f / "rho.den000"));
    ASSERT_EQ(all0.size(), 130321u + 2);
    EXPECT_EQ(all0[0], "# T=  10.00000 NSLICE=    2 IODEVN=    1");
    EXPECT_EQ(all0[1], "# the  phi  chi       rho            engrot");
    const auto all1 = lines_of(read_file(f / "rho.den001"));
    ASSERT_EQ(all1.size(), 130321u);
    // ichi runs fastest: record 2 is (0, 1), record 362 is (1, 0).
    EXPECT_EQ(all1[1].substr(0, 15), "    1    0    1");
    EXPECT_EQ(all1[361].substr(0, 15), "    1    1    0");
    const auto rho1 = lines_of(read_file(f / "rho.den001_rho"));
    const auto eng1 = lines_of(read_file(f / "rho.den001_eng"));
    const auto esq1 = lines_of(read_file(f / "rho.den001_esq"));
    ASSERT_EQ(rho1.size(), 130321u);
    ASSERT_EQ(eng1.size(), 130321u);
    ASSERT_EQ(esq1.size(), 130321u);
    for (std::size_t i = 0; i < all1.size(); i += 997) {
        ASSERT_EQ(all1[i].size(), 63u);
        EXPECT_EQ(all1[i].substr(15), " " + rho1[i] + " " + eng1[i] + " " + esq1[i]);
        EXPECT_EQ(rho1[i].size(), 15u);
    }
}

TEST_F(PlaneFiles, OriginHoldsThePartitionFunctionAndMeanEnergyOfTheReport)
{
    temp_folder f;
    const run_result r = kelvane(f, "10 16 -1 0 0" + water + "10");
    ASSERT_EQ(r.status, 0) << r.err;
    // maxj =    10  CLASSICAL: Z=      <Z> E=  <E> CM-1 E= ... K
    const auto out = lines_of(r.out);
    const auto maxj = std::find_if(out.begin(), out.end(), [](const std::string& l) { return l.rfind("maxj =", 0) == 0; });
    ASSERT_NE(maxj, out.end());
    const double z = std::stod(maxj->substr(maxj->find("Z=") + 2));
    const double e = std::stod(maxj->substr(maxj->find(" E=") + 3));
    const auto first = lines_of(read_file(f / "rho.den000")).at(2);
    EXPECT_EQ(first.substr(0, 15), "    0    0    0");
    const double rho = std::stod(first.substr(16, 15)), eng = std::stod(first.substr(32, 15));
    EXPECT_NEAR(rho * 78.95683520871486, z, 1e-7 * z);
    EXPECT_NEAR(eng, e, 1e-6 * e);
}

TEST_F(PlaneFiles, StopAtThePlaneAbove180AfterWritingTheEarlierOnes)
{
    temp_folder f;
    const run_result r = kelvane(f, "10 2 0 179 185" + water + "4");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file_names(f.path()), (std::vector<std::string>{"rho.den179", "rho.den179_eng", "rho.den179_esq", "rho.den179_rho",
                                                    "rho.den180", "rho.den180_eng", "rho.den180_esq", "rho.den180_rho"}));
    const auto out = lines_of(r.out);
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(std::stoi(out[out.size() - 2]), 360);
    std::istringstream last(out.back());
    std::string w1, w2;
    int index = 0;
    last >> w1 >> w2 >> index;
    EXPECT_EQ(w1 + " " + w2, "weird ithe");
    EXPECT_EQ(index, 181);
    EXPECT_EQ(lines_of(read_file(f / "rho.den180_esq")).size(), 130321u);
}

TEST_F(PlaneFiles, ReplaceAnOlderFileOnlyOnceTheNewOneIsWhole)
{
    temp_folder f;
    std::ofstream(f / "rho.den005") << "an older plane\n";
    std::ofstream(f / "rho.den005_rho") << "an older plane\n";

    // A file size limit makes the writes of the combined file fail: the run
    // says so and ends with status 2, the older files stay as they were and
    // nothing is left under a temporary name.
    const run_result failed = kelvane(f, "10 2 0 5 5" + water + "4", {.file_size_limit = 1 << 20});
    EXPECT_EQ(failed.status, 2);
    EXPECT_NE(failed.err, "");
    EXPECT_EQ(read_file(f / "rho.den005"), "an older plane\n");
    EXPECT_EQ(read_file(f / "rho.den005_rho"), "an older plane\n");
    EXPECT_EQ(file_names(f.path()), (std::vector<std::string>{"rho.den005", "rho.den005_rho"}));

    const run_result ok = kelvane(f, "10 2 0 5 5" + water + "4");
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(lines_of(read_file(f / "rho.den005")).size(), 130321u);
    EXPECT_EQ(lines_of(read_file(f / "rho.den005_rho")).size(), 130321u);
    EXPECT_EQ(file_names(f.path()).size(), 4u);
}

TEST_F(PlaneFiles, AFileThatCannotBeCreatedEndsTheRunWithTheEarlierPlanesIntact)
{
    temp_folder f;
    fs::create_directory(f / "rho.den001_eng.part");
    const run_result r = kelvane(f, "10 2 -1 0 2" + water + "4");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err, "");
    EXPECT_EQ(lines_of(read_file(f / "rho.den000_esq")).size(), 130321u);
    EXPECT_EQ(lines_of(read_file(f / "rho.den000")).size(), 130321u + 2);
    EXPECT_FALSE(fs::exists(f / "rho.den001"));
    EXPECT_FALSE(fs::exists(f / "rho.den001.part"));
    EXPECT_FALSE(fs::exists(f / "rho.den001_rho.part"));
    EXPECT_FALSE(fs::exists(f / "rho.den002"));
}

TEST_F(PlaneFiles, AThreadCountThatIsNoPositiveNumberIsRefusedBeforeAnyOutput)
{
    for (const std::string bad : {"0", "-2", "two", "3x"}) {
        temp_folder f;
        const run_result r = kelvane(f, "10 2 -1 0 0" + water + "4", threads(bad));
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_EQ(r.out, "") << bad;
        EXPECT_NE(r.err, "") << bad;
        EXPECT_TRUE(file_names(f.path()).empty()) << bad;
    }
    // Refused in a run without planes too, before the report.
    temp_folder f;
    const run_result r = kelvane(f, "10 2 -1 1 0" + water + "4", threads("two"));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
}

TEST_F(PlaneFiles, TheFourierOptionWritesTheSameFilesOnAnyThreadCount)
{
    // Shallow enough (jmax 8, temp nslice 20) for the term-by-term order to
    // round as the series does: the same files as the default evaluation.
    std::map<std::string, std::string> first;
    std::string first_out;
    for (const auto& [options, count] : std::vector<std::pair<std::string, std::string>>{
             {"", "1"}, {"--fourier ", "1"}, {"--fourier ", "3"}}) {
        temp_folder f;
        const run_result r = kelvane(f, options + "10 2 -1 44 45" + water + "8", threads(count));
        ASSERT_EQ(r.status, 0) << r.err;
        if (first.empty()) {
            first = sha256_of_files(f);
            first_out = r.out;
            continue;
        }
        EXPECT_EQ(sha256_of_files(f), first) << options << count << " threads";
        EXPECT_EQ(r.out, first_out) << options << count << " threads";
    }
    temp_folder f;
    const run_result r = kelvane(f, "--fast 10 2 -1 44 45" + water + "8");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("--fast"), std::string::npos) << r.err;
}

TEST_F(PlaneFiles, SomethingInTheWayOfAPlaneNameEndsTheRunBeforeThePlaneIsComputed)
{
    // A directory under the name of plane 1: plane 0 is written, plane 1 is
    // refused before its evaluation, no name of plane 1 appears and no
    // temporary file is left.
    temp_folder f;
    fs::create_directory(f / "rho.den001_eng");
    const run_result r = kelvane(f, "10 2 -1 0 2" + water + "4");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("rho.den001_eng"), std::string::npos) << r.err;
    EXPECT_EQ(lines_of(read_file(f / "rho.den000_esq")).size(), 130321u);
    EXPECT_EQ(file_names(f.path()), (std::vector<std::string>{"rho.den000", "rho.den000_eng", "rho.den000_esq",
                                                               "rho.den000_rho", "rho.den001_eng"}));
    // Refused before the rows of plane 1 were announced.
    EXPECT_EQ(r.out.find("rho.den001\n"), r.out.size() - 11) << r.out.substr(r.out.size() - 40);
}

TEST_F(PlaneFiles, AFileTheUserMayNotWriteIsRefusedAndLeftAsItWas)
{
    // As root, access checks do not apply: the run goes as the user nobody.
    temp_folder f;
    run_options o;
    fs::path program = program_path("kelvane");
    if (::geteuid() == 0) {
        fs::permissions(f.path(), fs::perms::all);
        program = world_readable_copy("kelvane", f.path());
        o.user = 65534;
    }
    write_file(f / "rho.den001_rho", "precious\n");
    fs::permissions(f / "rho.den001_rho", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    o.cwd = f.path();
    o.args = split_words("10 2 -1 1 1" + water + "4");
    const run_result r = run_program(program, o);
    EXPECT_EQ(r.status, 2) << r.describe();
    EXPECT_NE(r.err.find("rho.den001_rho"), std::string::npos) << r.err;
    EXPECT_EQ(read_file(f / "rho.den001_rho"), "precious\n");
    EXPECT_FALSE(fs::exists(f / "rho.den001"));
    EXPECT_FALSE(fs::exists(f / "rho.den001_rho.part"));
}

TEST_F(PlaneFiles, ASymbolicLinkUnderAPlaneNameIsWrittenThrough)
{
    temp_folder plain, linked;
    ASSERT_EQ(kelvane(plain, "10 2 -1 1 1" + water + "4").status, 0);
    fs::create_directory(linked / "store");
    fs::create_symlink("store/rho_001", linked / "rho.den001_rho");                  // relative, not there yet
    write_file(linked / "store" / "esq_001", "an older plane\n");
    fs::create_symlink(linked / "store" / "esq_001", linked / "rho.den001_esq");     // absolute, to a file
    const run_result r = kelvane(linked, "10 2 -1 1 1" + water + "4");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(linked / "rho.den001_rho"));
    EXPECT_TRUE(fs::is_symlink(linked / "rho.den001_esq"));
    EXPECT_EQ(read_file(linked / "store" / "rho_001"), read_file(plain / "rho.den001_rho"));
    EXPECT_EQ(read_file(linked / "store" / "esq_001"), read_file(plain / "rho.den001_esq"));
    EXPECT_EQ(file_names(linked / "store"), (std::vector<std::string>{"esq_001", "rho_001"}));
}

TEST_F(PlaneFiles, StandardOutputThatFailsInAPlaneLeavesNothingOfThatPlane)
{
    // A full disk, and a pipe whose reader has gone ("| grep -m1 maxj"):
    // a report on standard error and status 2, never a silent end by SIGPIPE.
    const std::pair<run_options, const char*> outputs[] = {
        {{.stdout_file = "/dev/full"}, "No space left on device"},
        {{.stdout_closed_pipe = true}, "Broken pipe"},
    };
    for (const auto& [output, reason] : outputs) {
        temp_folder f;
        const run_result r = kelvane(f, "10 2 -1 0 3" + water + "4", output);
        EXPECT_EQ(r.status, 2) << r.describe();
        EXPECT_EQ(r.err, std::string("kelvane: cannot write to standard output: ") + reason + "\n");
        for (const auto& name : file_names(f.path())) EXPECT_EQ(name.find(".part"), std::string::npos) << name;
        // Whatever planes were complete before, each stands with its four names.
        const auto names = file_names(f.path());
        EXPECT_EQ(names.size() % 4, 0u);
    }
}

TEST(PlaneFileSet, ARenameThatFailsRemovesTheNamesAlreadyPlaced)
{
    // The four files opened, then a directory put under the name of "_eng",
    // which the rename cannot replace: the combined file and "_rho", renamed
    // before it, go again, and so do the temporary files.
    temp_folder f;
    const fs::path start = fs::current_path();
    fs::current_path(f.path());
    try {
        kelvane::plane_files files;
        kelvane::open_plane_files(files, 7);
        for (int k = 0; k < 4; ++k) kelvane::write_plane_text(files, k, "record\n");
        fs::create_directory("rho.den007_eng");
        write_file("rho.den007_eng/keep", "");
        EXPECT_THROW(kelvane::close_plane_files(files), process::run_failure);
    } catch (...) {
        fs::current_path(start);
        throw;
    }
    fs::current_path(start);
    EXPECT_EQ(file_names(f.path()), std::vector<std::string>{"rho.den007_eng"});
}

}  // namespace
