// Disks that fill up, files that may not grow, directories that may not be
// written: kelvane, brantor and average report the failure on standard error
// and end with status 2.  kelvane keeps every plane completed before the
// failure exactly as a good run writes it, and never leaves a cut file under
// a plane's name; an older file of that name keeps its content.  Its table
// (--hdf5) is whole or not there, and an older table stays as it was.
// brantor leaves the files of the run before as they were.
//
// The small disk is a tmpfs the test mounts, which needs root; the
// read-only directory is tried as the user "nobody" when the test runs as
// root.  Where the system refuses either, the test says so and is skipped.
#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/support/files.hpp"
#include "tests/support/paths.hpp"
#include "tests/support/process.hpp"
#include "tests/support/temp_folder.hpp"

namespace {

using namespace test_support;

const std::vector<std::string> planes_0_1 = {"10", "2", "-1", "0", "1", "27.877", "14.512", "9.285", "4"};
const std::vector<std::string> plane_0_files = {"rho.den000", "rho.den000_eng", "rho.den000_esq", "rho.den000_rho"};

using file_set = std::map<std::string, std::string>;

// What a good run leaves, made once.
const file_set& good_run(const std::string& program)
{
    static std::map<std::string, file_set> made;
    auto it = made.find(program);
    if (it != made.end()) return it->second;
    temp_folder dir(program + "_reference");
    run_options o;
    o.cwd = dir.path();
    if (program == "kelvane") o.args = planes_0_1;
    const run_result r = run_program(program_path(program), o);
    if (!(r.exited && r.status == 0)) throw std::runtime_error(program + " reference run: " + r.describe());
    return made[program] = files_in(dir.path());
}

// A tmpfs of the given size mounted over `at` for the life of the object.
class small_disk {
public:
    small_disk(const fs::path& at, const std::string& size) : at_(at)
    {
        const std::string options = "size=" + size + ",mode=0755";
        if (::mount("tmpfs", at.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0)
            mounted_ = true;
        else
            reason_ = std::strerror(errno);
    }
    ~small_disk()
    {
        if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    const std::string& reason() const { return reason_; }

private:
    fs::path at_;
    bool mounted_ = false;
    std::string reason_;
};

#define MOUNT_OR_SKIP(disk)                                                                               \
    if (!(disk).mounted())                                                                                \
    GTEST_SKIP() << "skipped: mounting a small tmpfs was refused here (" << (disk).reason()              \
                 << "); run the tests as root to try a full disk"

// Fills what is left of the disk at dir, so that the next write fails.
void fill_up(const fs::path& dir)
{
    FILE* f = std::fopen((dir / "filler").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    const std::string chunk(4096, 'x');
    while (std::fwrite(chunk.data(), 1, chunk.size(), f) == chunk.size()) {
    }
    std::fclose(f);
}

// The directory `work` inside dir, made read-only for the user the program
// runs as: "nobody" when the test is root (who may write anywhere), the
// test's own user otherwise.  The program is copied where that user can run it.
struct read_only_setup {
    fs::path program;
    std::optional<uid_t> user;
    std::optional<gid_t> group;
    std::string skip_reason;
};

read_only_setup read_only_directory(const fs::path& dir, const std::string& program)
{
    read_only_setup s;
    fs::permissions(dir, fs::perms(0755));
    fs::create_directories(dir / "bin");
    fs::permissions(dir / "bin", fs::perms(0755));
    s.program = world_readable_copy(program, dir / "bin");
    fs::create_directories(dir / "work");
    if (::geteuid() == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        if (nobody == nullptr) {
            s.skip_reason = "there is no user \"nobody\" to run as";
            return s;
        }
        s.user = nobody->pw_uid;
        s.group = nobody->pw_gid;
    }
    fs::permissions(dir / "work", fs::perms(0555));
    return s;
}

// The child could not take the other user's identity (a container may forbid it).
bool could_not_switch_user(const run_result& r)
{
    return r.exited && r.status == 127 && r.err.rfind("spawn: ", 0) == 0;
}

// ---- kelvane ------------------------------------------------------------

void expect_kelvane_failure(const run_result& r)
{
    EXPECT_TRUE(r.exited && r.status == 2) << r.describe();
    EXPECT_NE(r.err.find("kelvane"), std::string::npos) << r.err;
}

TEST(FailureInjection, KelvaneOnADiskThatFillsDuringTheSecondPlaneKeepsTheFirst)
{
    const file_set& good = good_run("kelvane");
    temp_folder dir("kelvane_disk");
    // Plane 0 takes 14.6 MB; the disk ends inside the first file of plane 1.
    small_disk disk(dir.path(), "20m");
    MOUNT_OR_SKIP(disk);
    const run_result r = run_program(program_path("kelvane"), {.cwd = dir.path(), .args = planes_0_1});
    expect_kelvane_failure(r);
    EXPECT_NE(r.out.find("rho.den001"), std::string::npos) << "the failure came during the second plane";
    const file_set left = files_in(dir.path());
    ASSERT_EQ(file_names(dir.path()), plane_0_files);
    for (const auto& name : plane_0_files) EXPECT_TRUE(left.at(name) == good.at(name)) << name << " differs";
}

TEST(FailureInjection, KelvaneOnAFullDiskLeavesOlderPlaneFilesAsTheyWere)
{
    const file_set& good = good_run("kelvane");
    temp_folder dir("kelvane_disk_old");
    small_disk disk(dir.path(), "20m");
    MOUNT_OR_SKIP(disk);
    file_set older;
    for (const std::string plane : {"rho.den000", "rho.den001"})
        for (const std::string suffix : {"", "_rho", "_eng", "_esq"}) {
            older[plane + suffix] = "an older run's " + plane + suffix + "\n";
            write_file(dir.path() / (plane + suffix), older[plane + suffix]);
        }
    expect_kelvane_failure(run_program(program_path("kelvane"), {.cwd = dir.path(), .args = planes_0_1}));
    const file_set left = files_in(dir.path());
    ASSERT_EQ(left.size(), older.size()) << "no file added, none removed";
    for (const auto& [name, content] : left) {
        if (name.rfind("rho.den000", 0) == 0)
            EXPECT_TRUE(content == good.at(name)) << name << " is not the completed plane";
        else
            EXPECT_EQ(content, older.at(name)) << name << " lost its older content";
    }
}

TEST(FailureInjection, KelvaneBeyondTheFileSizeLimitLeavesNoCutPlaneFile)
{
    temp_folder dir("kelvane_fsize");
    const std::string older = "an older run's plane\n";
    write_file(dir.path() / "rho.den000", older);
    // rho.den000 has 8,340,629 bytes: the limit cuts off part of its last line.
    expect_kelvane_failure(
        run_program(program_path("kelvane"), {.cwd = dir.path(), .args = planes_0_1, .file_size_limit = 8340600}));
    EXPECT_EQ(file_names(dir.path()), std::vector<std::string>{"rho.den000"});
    EXPECT_EQ(read_file(dir.path() / "rho.den000"), older);
}

TEST(FailureInjection, KelvaneInAReadOnlyDirectory)
{
    temp_folder dir("kelvane_read_only");
    const read_only_setup s = read_only_directory(dir.path(), "kelvane");
    if (!s.skip_reason.empty()) GTEST_SKIP() << "skipped: " << s.skip_reason;
    run_options o;
    o.cwd = dir.path() / "work";
    o.args = planes_0_1;
    o.user = s.user;
    o.group = s.group;
    const run_result r = run_program(s.program, o);
    if (could_not_switch_user(r)) GTEST_SKIP() << "skipped: cannot run as another user here: " << r.err;
    expect_kelvane_failure(r);
    EXPECT_TRUE(file_names(dir.path() / "work").empty());
}

#if KELVANE_HAS_HDF5
// ---- kelvane --hdf5 ----------------------------------------------------------
// The table is one file for the run, written as t.h5.part: a failure at any
// write, the closing of the file included, leaves no table, no temporary
// file, and an older table as it was.

const std::vector<std::string> table_planes_0_1 = {"--hdf5", "t.h5", "10", "2", "-1", "0", "1",
                                                   "27.877", "14.512", "9.285", "4"};

void expect_older_table_kept(const fs::path& dir, run_options o, const std::string& reason)
{
    write_file(dir / "t.h5", "an older table\n");
    o.cwd = dir;
    o.args = table_planes_0_1;
    const run_result r = run_program(program_path("kelvane"), o);
    expect_kelvane_failure(r);
    EXPECT_NE(r.err.find("cannot write t.h5.part: " + reason), std::string::npos) << r.err;
    EXPECT_EQ(file_names(dir), std::vector<std::string>{"t.h5"});
    EXPECT_EQ(read_file(dir / "t.h5"), "an older table\n");
}

TEST(FailureInjection, KelvaneTableOnAFullDiskLeavesAnOlderTableAsItWas)
{
    temp_folder dir("kelvane_table_disk");
    small_disk disk(dir.path(), "4m");   // the table of two planes takes 6.3 MB
    MOUNT_OR_SKIP(disk);
    expect_older_table_kept(dir.path(), {}, "No space left on device");
}

TEST(FailureInjection, KelvaneTableBeyondTheFileSizeLimitLeavesAnOlderTableAsItWas)
{
    temp_folder good("kelvane_table_good");
    ASSERT_EQ(run_program(program_path("kelvane"), {.cwd = good.path(), .args = table_planes_0_1}).status, 0);
    const long long size = static_cast<long long>(fs::file_size(good.path() / "t.h5"));
    // Within the values of the first plane, and within the last bytes, which
    // the closing of the file writes.
    for (const long long limit : {1LL << 20, size - 1}) {
        SCOPED_TRACE("limit " + std::to_string(limit) + " of " + std::to_string(size));
        temp_folder dir("kelvane_table_fsize");
        expect_older_table_kept(dir.path(), {.file_size_limit = limit}, "File too large");
    }
}
#endif

// ---- brantor ------------------------------------------------------------

// The files of an earlier run stand as they were, and nothing else is left.
void expect_brantor_failure_leaving_older_files(const run_result& r, const fs::path& dir, const file_set& older)
{
    EXPECT_TRUE(r.exited && r.status == 2) << r.describe();
    EXPECT_NE(r.err.find("brantor"), std::string::npos) << r.err;
    file_set left = files_in(dir);
    left.erase("filler");
    EXPECT_TRUE(left == older) << "files left: " << left.size();
}

file_set older_brantor_files(const fs::path& dir)
{
    const file_set older = {{"fort.33", "an older scan\n"}, {"fort.44", "an older detail file\n"}};
    for (const auto& [name, content] : older) write_file(dir / name, content);
    return older;
}

TEST(FailureInjection, BrantorOnAFullDisk)
{
    temp_folder dir("brantor_disk");
    small_disk disk(dir.path(), "4m");
    MOUNT_OR_SKIP(disk);
    const file_set older = older_brantor_files(dir.path());
    expect_brantor_failure_leaving_older_files(run_program(program_path("brantor"), {.cwd = dir.path()}),
                                               dir.path(), older);
}

TEST(FailureInjection, BrantorBeyondTheFileSizeLimit)
{
    temp_folder dir("brantor_fsize");
    const file_set older = older_brantor_files(dir.path());
    expect_brantor_failure_leaving_older_files(
        run_program(program_path("brantor"), {.cwd = dir.path(), .file_size_limit = 1 << 20}), dir.path(), older);
}

TEST(FailureInjection, BrantorInAReadOnlyDirectory)
{
    temp_folder dir("brantor_read_only");
    const read_only_setup s = read_only_directory(dir.path(), "brantor");
    if (!s.skip_reason.empty()) GTEST_SKIP() << "skipped: " << s.skip_reason;
    run_options o;
    o.cwd = dir.path() / "work";
    o.user = s.user;
    o.group = s.group;
    const run_result r = run_program(s.program, o);
    if (could_not_switch_user(r)) GTEST_SKIP() << "skipped: cannot run as another user here: " << r.err;
    EXPECT_TRUE(r.exited && r.status == 2) << r.describe();
    EXPECT_NE(r.err.find("brantor"), std::string::npos) << r.err;
    EXPECT_TRUE(file_names(dir.path() / "work").empty());
}

// ---- average --------------------------------------------------------------
// average writes only its report, so the failures are those of standard
// output, and of a file it may not read.

const std::string example = "0 99 99 99 99 99 99 99 99 99\n"
                            "1 10 -20 -10 5 0 -5 30 0 0\n"
                            "2 14 -22 -8 7 0 -1 34 0 0\n";

TEST(FailureInjection, AverageReportOnAFullDisk)
{
    temp_folder dir("average_disk");
    write_file(dir.path() / "wd.eng", example);
    const fs::path disk_dir = dir.path() / "disk";
    fs::create_directories(disk_dir);
    small_disk disk(disk_dir, "64k");
    MOUNT_OR_SKIP(disk);
    fill_up(disk_dir);
    const run_result r =
        run_program(program_path("average"), {.cwd = dir.path(), .args = {"1"}, .stdout_file = disk_dir / "report"});
    EXPECT_TRUE(r.exited && r.status == 2) << r.describe();
    EXPECT_FALSE(r.err.empty());
}

TEST(FailureInjection, AverageReportBeyondTheFileSizeLimit)
{
    temp_folder dir("average_fsize");
    write_file(dir.path() / "wd.eng", example);
    const run_result r = run_program(
        program_path("average"),
        {.cwd = dir.path(), .args = {"1"}, .stdout_file = dir.path() / "report", .file_size_limit = 100});
    EXPECT_TRUE(r.exited && r.status == 2) << r.describe();
    EXPECT_FALSE(r.err.empty());
    const std::string report = read_file(dir.path() / "report");
    EXPECT_LE(report.size(), 100u);
}

TEST(FailureInjection, AverageInAReadOnlyDirectoryReportsAndCannotReadAClosedFile)
{
    temp_folder dir("average_read_only");
    const read_only_setup s = read_only_directory(dir.path(), "average");
    if (!s.skip_reason.empty()) GTEST_SKIP() << "skipped: " << s.skip_reason;
    const fs::path work = dir.path() / "work";
    fs::permissions(work, fs::perms(0755));
    write_file(work / "wd.eng", example);
    fs::permissions(work / "wd.eng", fs::perms(0644));
    fs::permissions(work, fs::perms(0555));
    run_options o;
    o.cwd = work;
    o.args = {"1"};
    o.user = s.user;
    o.group = s.group;
    // Nothing to write: the report is the usual one.
    const run_result r = run_program(s.program, o);
    if (could_not_switch_user(r)) GTEST_SKIP() << "skipped: cannot run as another user here: " << r.err;
    EXPECT_TRUE(r.exited && r.status == 0) << r.describe();
    EXPECT_EQ(r.out.substr(0, 31), " number of points            2\n");

    // A file the user may not read.
    fs::permissions(work / "wd.eng", fs::perms(0000));
    const run_result closed = run_program(s.program, o);
    EXPECT_TRUE(closed.exited && closed.status == 2) << closed.describe();
    EXPECT_NE(closed.err.find("wd.eng"), std::string::npos) << closed.err;
    EXPECT_EQ(closed.out, "");
}

}  // namespace
