// kelvane --hdf5, end to end: standard output as without the option and a
// table that kelvane-export turns back into the text files byte for byte
// (either evaluation, a range past the grid too), no table where a run
// writes no plane, something in the way or a protected file refused before
// any work, an older table's mode kept, a symbolic link written through,
// another run's temporary file left to it, and the option's file name
// required.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/kelvane_hdf5/tables.hpp"
#include "tests/support/files.hpp"
#include "tests/support/paths.hpp"
#include "tests/support/process.hpp"
#include "tests/support/temp_folder.hpp"

namespace {

using namespace test_support;

const std::string water = " 27.877 14.512 9.285 ";

TEST(Table, StandardOutputIsTheTextRunsAndTheExportedFilesAreItsFilesByteForByte)
{
    const std::pair<std::string, std::string> cases[] = {
        {"--hdf5 t.h5", "10 2 -1 0 1" + water + "4"},           {"--fourier --hdf5 t.h5", "10 2 -1 0 1" + water + "4"},
        {"--hdf5 t.h5", "20 4 0 90 90" + water + "8"},          {"--hdf5 t.h5 --fourier", "20 4 0 90 90" + water + "8"},
        {"--hdf5 t.h5", "10 2 0 179 185" + water + "4"},
    };
    for (const auto& [options, args] : cases) {
        SCOPED_TRACE(options + " " + args);
        temp_folder text, table;
        const run_result t = run_in(text.path(), "kelvane", (options.find("--fourier") != std::string::npos ? "--fourier " : "") + args);
        const run_result h = run_in(table.path(), "kelvane", options + " " + args);
        ASSERT_EQ(h.status, 0) << h.err;
        EXPECT_EQ(h.err, "");
        EXPECT_EQ(h.out, t.out);
        EXPECT_EQ(file_names(table.path()), std::vector<std::string>{"t.h5"});

        const run_result e = run_in(table.path(), "kelvane-export", "t.h5");
        ASSERT_EQ(e.status, 0) << e.err;
        fs::remove(table / "t.h5");
        EXPECT_TRUE(files_in(table.path()) == files_in(text.path())) << "the exported files differ";
        std::string names;   // one line per plane, its combined file
        for (const auto& name : file_names(text.path())) names += name.find('_') == std::string::npos ? name + "\n" : "";
        EXPECT_EQ(e.out, names);
    }
}

TEST(Table, ARunThatWritesNoPlaneLeavesAnOlderTableAsItWas)
{
    // The report only; the cutoff test; iodevn; no plane of the grid.
    for (const std::string& args : {"10 2 -1 1 0" + water + "4", "10 128 -1 0 2" + water + "4",
                                    "10 2 7 0 2" + water + "4", "10 2 -1 181 185" + water + "4"}) {
        SCOPED_TRACE(args);
        temp_folder text, table;
        write_file(table / "t.h5", "an older table\n");
        const run_result t = run_in(text.path(), "kelvane", args);
        const run_result h = run_in(table.path(), "kelvane", "--hdf5 t.h5 " + args);
        EXPECT_EQ(h.status, t.status);
        EXPECT_EQ(h.out + h.err, t.out + t.err);
        EXPECT_EQ(file_names(table.path()), std::vector<std::string>{"t.h5"});
        EXPECT_EQ(read_file(table / "t.h5"), "an older table\n");
    }
}

TEST(Table, SomethingInTheWayOrAProtectedFileIsRefusedBeforeAnyWork)
{
    const std::pair<std::function<void(const fs::path&)>, std::string> obstacles[] = {
        {[](const fs::path& d) { fs::create_directory(d / "t.h5"); }, "cannot write t.h5: it is a directory"},
        {[](const fs::path& d) { ::mkfifo((d / "t.h5").c_str(), 0644); }, "cannot write t.h5: not a regular file"},
        {[](const fs::path& d) {
             write_file(d / "t.h5", "precious\n");
             fs::permissions(d / "t.h5", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
         },
         "cannot replace t.h5: Permission denied"},
    };
    for (const auto& [make, says] : obstacles) {
        SCOPED_TRACE(says);
        temp_folder f;
        // As root, access checks do not apply: the run goes as the user nobody.
        run_options o{.cwd = f.path(), .args = split_words("--hdf5 t.h5 10 2 -1 0 1" + water + "4")};
        fs::path program = program_path("kelvane");
        if (::geteuid() == 0) {
            fs::permissions(f.path(), fs::perms::all);
            program = world_readable_copy("kelvane", f.path());
            o.user = 65534;
        }
        make(f.path());
        const auto before = file_names(f.path());
        const run_result r = run_program(program, o);
        EXPECT_EQ(r.status, 2) << r.describe();
        EXPECT_EQ(r.err.rfind("kelvane: " + says, 0), 0u) << r.err;
        EXPECT_EQ(r.out, "") << "refused before the report";
        EXPECT_EQ(file_names(f.path()), before);
    }
}

TEST(Table, KeepsTheOlderModeWritesThroughALinkAndLeavesAnotherRunsTemporaryFile)
{
    temp_folder f;
    fs::create_directory(f / "store");
    write_file(f / "store" / "water.h5", "an older table\n");
    fs::permissions(f / "store" / "water.h5", fs::perms(0640));
    write_file(f / "store" / "water.h5.part", "another run's table\n");
    fs::create_symlink("store/water.h5", f / "t.h5");
    const run_result r = run_in(f.path(), "kelvane", "--hdf5 t.h5 10 2 -1 3 3" + water + "4");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(f / "t.h5"));
    EXPECT_EQ(file_names(f / "store"), (std::vector<std::string>{"water.h5", "water.h5.part"}));
    EXPECT_EQ(read_file(f / "store" / "water.h5.part"), "another run's table\n");
    EXPECT_EQ(fs::status(f / "store" / "water.h5").permissions(), fs::perms(0640));
    EXPECT_EQ(table_checks::planes_of(f / "t.h5").first, 3);
}

TEST(Table, TheOptionNeedsAFileNameAndSodrelIgnoresIt)
{
    for (const std::string& args : {std::string("--hdf5"), "--hdf5 --fourier 10 2 -1 0 0" + water + "4"}) {
        const folder_run r = run_in_fresh_folder(program_path("kelvane"), {.args = split_words(args)});
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_EQ(r.err.rfind("kelvane: --hdf5 needs a file name", 0), 0u) << r.err;
        EXPECT_NE(r.err.find("\nusage: kelvane "), std::string::npos) << r.err;
    }
    const folder_run plain = run_in_fresh_folder(program_path("sodrel"), {.args = split_words("10 64 -1 0 0" + water + "17")});
    const folder_run with =
        run_in_fresh_folder(program_path("sodrel"), {.args = split_words("--hdf5 t.h5 --fourier 10 64 -1 0 0" + water + "17")});
    EXPECT_EQ(with.status, 0);
    EXPECT_EQ(with.out + with.err, plain.out + plain.err);
    EXPECT_TRUE(with.files.empty());
}

}  // namespace
