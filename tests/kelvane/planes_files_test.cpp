// The plane files of a kelvane run, end to end: byte for byte the recorded
// files, the same for any thread count and either evaluation's own, their
// names and layout, the header of plane 0 only, the stop at a plane above
// 180, files that are never left truncated under their own name, four names
// of a plane that appear together or not at all (also when the run is killed
// between two renames), older files that keep their permissions and are
// never lost, files in the way refused before any work, temporary names that
// never open what stands under them, and symbolic links written through.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <thread>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "kelvane/density/plane_files.hpp"
#include "process/process.hpp"
#include "replacement/file_set.hpp"
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
    // A name of plane 1 that leads into a folder that does not exist.
    temp_folder f;
    fs::create_symlink("missing/rho.den001_eng", f / "rho.den001_eng");
    const run_result r = kelvane(f, "10 2 -1 0 2" + water + "4");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot create rho.den001_eng (missing/rho.den001_eng)"), std::string::npos) << r.err;
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
    // At these planes no sum cancels deeply enough for the roundings of the
    // term-by-term order to show in the printed digits: the files are also
    // those of the default evaluation (which is not so in general, below).
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

TEST_F(PlaneFiles, TheFourierFilesDifferFromTheDefaultsInValuesThatCancelDeeply)
{
    // Even a small run shows such values: 736 of plane 45's values differ,
    // by one to 19 units of the last digit.
    temp_folder term_by_term, series;
    ASSERT_EQ(kelvane(term_by_term, "10 16 -1 45 45" + water + "9").status, 0);
    ASSERT_EQ(kelvane(series, "--fourier 10 16 -1 45 45" + water + "9").status, 0);
    std::size_t differing = 0;
    for (const std::string table : {"_rho", "_eng", "_esq"}) {
        const auto a = lines_of(read_file(term_by_term / ("rho.den045" + table)));
        const auto b = lines_of(read_file(series / ("rho.den045" + table)));
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t i = 0; i < a.size(); ++i) differing += a[i] != b[i];
    }
    EXPECT_EQ(differing, 736u);
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

// ---- Replacing the files of an older plane ------------------------------

const std::string plane_45 = "10 2 -1 45 45" + water + "4";
const std::vector<std::string> names_45 = {"rho.den045", "rho.den045_eng", "rho.den045_esq", "rho.den045_rho"};

void write_older_plane(const temp_folder& f)
{
    for (const auto& name : names_45) write_file(f / name, "older " + name + "\n");
}

bool is_older_plane(const temp_folder& f)
{
    for (const auto& name : names_45)
        if (read_file(f / name) != "older " + name + "\n") return false;
    return file_names(f.path()) == names_45;
}

// The older plane's files given to their owners, in group 12345 with the
// mode, in a folder anyone may write (sticky: each user may replace only his
// own files); then plane 45 run by `user` (root when 0).
run_result replace_as(const temp_folder& f, uid_t user, mode_t mode, uid_t (*owner)(const std::string&, uid_t))
{
    for (const auto& name : names_45)
        if (::chown((f / name).c_str(), owner(name, user), 12345) != 0 || ::chmod((f / name).c_str(), mode) != 0)
            return {};
    fs::permissions(f.path(), fs::perms(01777));
    temp_folder bin;
    fs::permissions(bin.path(), fs::perms(0755));
    run_options o{.cwd = f.path(), .args = split_words(plane_45)};
    if (user != 0) o.user = user, o.group = user;
    return run_program(world_readable_copy("kelvane", bin.path()), o);
}

constexpr uid_t nobody = 65534;

TEST_F(PlaneFiles, AReplacedFileKeepsTheOlderPermissionsAndGroupAndNeverWidensThem)
{
    if (::geteuid() != 0) GTEST_SKIP() << "files of other users and groups need root";
    // Run by root, or by a user who is not in the group and so cannot give it
    // the new file, whose group permissions then go.
    struct row {
        uid_t user;
        mode_t mode, expected_mode;
        gid_t expected_group;
    };
    for (const row& r : {row{0, 0600, 0600, 12345}, row{0, 0640, 0640, 12345}, row{nobody, 0664, 0604, nobody}}) {
        SCOPED_TRACE("user " + std::to_string(r.user) + ", mode " + std::to_string(r.mode));
        temp_folder f;
        write_older_plane(f);
        fs::create_hard_link(f / "rho.den045_esq", f / "other");
        const run_result run = replace_as(f, r.user, r.mode, [](const std::string&, uid_t user) { return user; });
        ASSERT_EQ(run.status, 0) << run.describe();
        for (const auto& name : names_45) {
            struct stat st;
            ASSERT_EQ(::stat((f / name).c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, r.expected_mode) << name;
            EXPECT_EQ(st.st_gid, r.expected_group) << name;
        }
        // Another hard link of an older file keeps the older content.
        EXPECT_EQ(lines_of(read_file(f / "rho.den045_esq")).size(), 130321u);
        EXPECT_EQ(read_file(f / "other"), "older rho.den045_esq\n");
    }
}

TEST_F(PlaneFiles, APlaneWhoseFilesCannotAllBeReplacedIsRefusedBeforeItIsComputed)
{
    // "_eng" and "_esq" are another user's, in the folder with the sticky bit.
    if (::geteuid() != 0) GTEST_SKIP() << "files of two users need root";
    temp_folder f;
    write_older_plane(f);
    const run_result r = replace_as(f, nobody, 0666, [](const std::string& name, uid_t user) {
        return name == "rho.den045" || name == "rho.den045_rho" ? user : 12345;
    });
    EXPECT_EQ(r.status, 2) << r.describe();
    EXPECT_NE(r.err.find("cannot replace rho.den045_eng"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.ends_with("rho.den045\n")) << "refused before the plane is computed";
    EXPECT_TRUE(is_older_plane(f));
}

TEST_F(PlaneFiles, WhatStandsUnderATemporaryNameIsNeverOpened)
{
    // Leftovers of killed runs, or traps: a FIFO (whose opening would wait for
    // a reader), a symbolic link to someone's file, a folder.
    temp_folder f;
    ASSERT_EQ(::mkfifo((f / "rho.den045_rho.part").c_str(), 0644), 0);
    write_file(f / "victim", "not a plane\n");
    fs::create_symlink("victim", f / "rho.den045.part");
    fs::create_directory(f / "rho.den045_esq.part");
    const run_result r = kelvane(f, plane_45, {.time_limit = 20});
    ASSERT_EQ(r.status, 0) << r.describe();
    EXPECT_EQ(lines_of(read_file(f / "rho.den045_esq")).size(), 130321u);
    EXPECT_TRUE(fs::is_fifo(f / "rho.den045_rho.part") && fs::is_symlink(f / "rho.den045.part") &&
                fs::is_directory(f / "rho.den045_esq.part"));
    EXPECT_EQ(read_file(f / "victim"), "not a plane\n");
    EXPECT_EQ(file_names(f.path()).size(), 8u);
}

TEST_F(PlaneFiles, TwoNamesOfAPlaneThatLeadToOneFileAreRefused)
{
    for (const bool symbolic : {true, false}) {
        temp_folder f;
        write_file(f / "rho.den045", "older\n");
        if (symbolic)
            fs::create_symlink("rho.den045", f / "rho.den045_rho");
        else
            fs::create_hard_link(f / "rho.den045", f / "rho.den045_rho");
        const run_result r = kelvane(f, plane_45);
        EXPECT_EQ(r.status, 2) << r.describe();
        EXPECT_NE(r.err.find("rho.den045_rho"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("same file as rho.den045"), std::string::npos) << r.err;
        EXPECT_EQ(read_file(f / "rho.den045"), "older\n");
        EXPECT_EQ(file_names(f.path()), (std::vector<std::string>{"rho.den045", "rho.den045_rho"}));
    }
}

TEST_F(PlaneFiles, ARunEndedBySigintSigtermOrSighupLeavesNoTemporaryFile)
{
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(::strsignal(sig));
        temp_folder f;
        write_older_plane(f);
        // A plane that takes seconds, ended once its files are being written.
        run_options o = threads("1");
        o.cwd = f.path();
        o.args = split_words("10 16 -1 45 45" + water + "30");
        o.started = [&](pid_t pid) {
            for (int ms = 0; ms < 20000 && !fs::exists(f / "rho.den045_esq.part"); ++ms)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ::kill(pid, sig);
        };
        const run_result r = run_program(program_path("kelvane"), o);
        EXPECT_EQ(r.signal, sig) << r.describe();
        EXPECT_TRUE(is_older_plane(f)) << ::testing::PrintToString(file_names(f.path()));
    }
}

// ---- The renames of a plane interrupted or failing: every rename of this
// test program passes through here, and the armed one first raises a signal
// or fails.

struct rename_injection {
    int countdown = 0;   // which rename from the arming on, counted from 1
    int signal = 0;
    int error = 0;
} injected;

}  // namespace

extern "C" int rename(const char* from, const char* to) noexcept
{
    if (injected.countdown > 0 && --injected.countdown == 0) {
        if (injected.signal != 0) ::raise(injected.signal);
        if (injected.error != 0) return errno = injected.error, -1;
    }
    return static_cast<int>(::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 0));
}

namespace {

TEST(PlaneFileSet, RenamesInterruptedOrFailingNeverLeaveAMixedPlaneUnderItsEsqFileNorLoseAnOlderFile)
{
    // A signal between two renames comes once the plane is in place; a
    // process killed there leaves no "_esq" file and every older file under
    // some name; a rename that fails puts every older file back (the child
    // exits with 3).
    struct row {
        rename_injection injection;
        int ending;   // the signal that ends the child, or its exit status
        std::function<bool(const temp_folder&)> left;
    };
    const row rows[] = {
        {{.countdown = 2, .signal = SIGTERM}, SIGTERM, [](const temp_folder& f) {
             return file_names(f.path()) == names_45 &&
                    std::ranges::all_of(names_45, [&](const std::string& n) { return read_file(f / n) == "new\n"; });
         }},
        {{.countdown = 2, .signal = SIGKILL}, SIGKILL, [](const temp_folder& f) {
             std::vector<std::string> contents;
             for (const auto& [name, content] : files_in(f.path())) contents.push_back(content);
             return !fs::exists(f / "rho.den045_esq") && std::ranges::all_of(names_45, [&](const std::string& n) {
                 return std::ranges::count(contents, "older " + n + "\n") > 0;
             });
         }},
        {{.countdown = 3, .error = EIO}, 3, is_older_plane},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.ending);
        temp_folder f;
        write_older_plane(f);
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (::chdir(f.path().c_str()) != 0) ::_exit(5);
            try {
                replacement::file_set files(kelvane::plane_file_names(45));
                for (int k = 0; k < 4; ++k) files.write(k, "new\n");
                injected = r.injection;
                files.place();
                ::_exit(0);
            } catch (const process::run_failure& e) {
                ::_exit(std::string(e.what()).find("cannot rename") != std::string::npos ? 3 : 4);
            }
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_EQ(WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status), r.ending) << status;
        EXPECT_TRUE(r.left(f)) << ::testing::PrintToString(file_names(f.path()));
    }
}

TEST(PlaneFileSet, SomethingThatTakesANameWhileThePlaneIsComputedStopsThePlacing)
{
    // A directory put under the name of "_eng" after the checks: no name of
    // the plane is placed, and the temporary files go.
    temp_folder f;
    const fs::path start = fs::current_path();
    fs::current_path(f.path());
    try {
        replacement::file_set files(kelvane::plane_file_names(7));
        for (int k = 0; k < 4; ++k) files.write(k, "record\n");
        fs::create_directory("rho.den007_eng");
        write_file("rho.den007_eng/keep", "");
        EXPECT_THROW(files.place(), process::run_failure);
    } catch (...) {
        fs::current_path(start);
        throw;
    }
    fs::current_path(start);
    EXPECT_EQ(file_names(f.path()), std::vector<std::string>{"rho.den007_eng"});
}

}  // namespace
