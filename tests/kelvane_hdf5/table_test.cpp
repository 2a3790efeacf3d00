// kelvane --hdf5, end to end: standard output as without the option, a table
// that kelvane-export turns back into the text files byte for byte (either
// evaluation), the same values for any thread count, a table of the planes
// up to 180 when the range passes the grid, no table where a run writes no
// plane, something in the way or a protected file refused before any work,
// a leftover temporary file replaced, an older table's mode kept, symbolic
// links written through, and the option's own name checked.
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

run_result run_in(const fs::path& dir, const std::string& program, const std::string& args, run_options o = {})
{
    o.cwd = dir;
    o.args = split_words(args);
    return run_program(program_path(program), o);
}

run_result kelvane(const fs::path& dir, const std::string& args, run_options o = {})
{
    return run_in(dir, "kelvane", args, o);
}

// The files of a folder but the tables.
std::map<std::string, std::string> plane_files_in(const fs::path& dir)
{
    auto files = files_in(dir);
    std::erase_if(files, [](const auto& f) { return f.first.ends_with(".h5"); });
    return files;
}

TEST(Table, StandardOutputIsTheTextRunsAndTheExportedFilesAreItsFilesByteForByte)
{
    struct run_case {
        std::string options, args;
    };
    const run_case cases[] = {
        {"--hdf5 t.h5", "10 2 -1 0 1" + water + "4"},
        {"--fourier --hdf5 t.h5", "10 2 -1 0 1" + water + "4"},
        {"--hdf5 t.h5", "20 4 0 90 90" + water + "8"},
        {"--hdf5 t.h5 --fourier", "20 4 0 90 90" + water + "8"},
        {"--fourier --hdf5 t.h5", "10 32 -1 89 90" + water + "14"},
    };
    for (const run_case& c : cases) {
        SCOPED_TRACE(c.options + " " + c.args);
        const bool fourier = c.options.find("--fourier") != std::string::npos;
        temp_folder text, table;
        const run_result t = kelvane(text.path(), (fourier ? "--fourier " : "") + c.args);
        ASSERT_EQ(t.status, 0) << t.err;
        const run_result h = kelvane(table.path(), c.options + " " + c.args);
        ASSERT_EQ(h.status, 0) << h.err;
        EXPECT_EQ(h.err, "");
        EXPECT_EQ(h.out, t.out);
        EXPECT_EQ(file_names(table.path()), std::vector<std::string>{"t.h5"});

        const run_result e = run_in(table.path(), "kelvane-export", "t.h5");
        ASSERT_EQ(e.status, 0) << e.err;
        EXPECT_EQ(e.err, "");
        EXPECT_TRUE(plane_files_in(table.path()) == files_in(text.path())) << "the exported files differ";
        // One line per plane, its combined file's name.
        std::string names;
        for (const auto& [name, content] : files_in(text.path()))
            if (name.find('_') == std::string::npos) names += name + "\n";
        EXPECT_EQ(e.out, names);
    }
}

TEST(Table, HoldsTheSameValuesForAnyThreadCount)
{
    temp_folder one, three;
    const std::string args = "--hdf5 t.h5 10 8 -1 44 46" + water + "10";
    ASSERT_EQ(kelvane(one.path(), args, {.environment = {"KELVANE_THREADS=1"}}).status, 0);
    ASSERT_EQ(kelvane(three.path(), args, {.environment = {"KELVANE_THREADS=3"}}).status, 0);
    table_checks::expect_same_values(one / "t.h5", three / "t.h5");
}

TEST(Table, ARangePastTheGridGivesATableOfThePlanesUpTo180)
{
    temp_folder text, table;
    const std::string args = "10 2 0 179 185" + water + "4";
    const run_result t = kelvane(text.path(), args);
    const run_result h = kelvane(table.path(), "--hdf5 t.h5 " + args);
    EXPECT_EQ(h.status, 0);
    EXPECT_EQ(h.err, "");
    EXPECT_EQ(h.out, t.out);
    const auto held = table_checks::planes_of(table / "t.h5");
    EXPECT_EQ(held.first, 179);
    EXPECT_EQ(held.count, 2);
    ASSERT_EQ(run_in(table.path(), "kelvane-export", "t.h5").status, 0);
    EXPECT_TRUE(plane_files_in(table.path()) == files_in(text.path()));
}

TEST(Table, ARunThatWritesNoPlaneLeavesAnOlderTableAsItWas)
{
    for (const std::string& args : {"10 2 -1 1 0" + water + "4",       // the report only
                                   "10 128 -1 0 2" + water + "4",     // the cutoff test stops it
                                   "10 2 7 0 2" + water + "4",        // iodevn
                                   "10 2 -1 181 185" + water + "4"}) {  // no plane of the grid
        SCOPED_TRACE(args);
        temp_folder text, table;
        write_file(table / "t.h5", "an older table\n");
        const run_result t = kelvane(text.path(), args);
        const run_result h = kelvane(table.path(), "--hdf5 t.h5 " + args);
        EXPECT_EQ(h.status, t.status);
        EXPECT_EQ(h.out, t.out);
        EXPECT_EQ(h.err, t.err);
        EXPECT_EQ(file_names(table.path()), std::vector<std::string>{"t.h5"});
        EXPECT_EQ(read_file(table / "t.h5"), "an older table\n");
    }
}

TEST(Table, SomethingInTheWayOrAProtectedFileIsRefusedBeforeAnyWork)
{
    struct obstacle {
        std::string what;
        std::function<void(const fs::path&)> make;
        std::string named;
    };
    const obstacle obstacles[] = {
        {"a directory", [](const fs::path& d) { fs::create_directory(d / "t.h5"); }, "t.h5: it is a directory"},
        {"a named pipe", [](const fs::path& d) { ::mkfifo((d / "t.h5").c_str(), 0644); }, "t.h5: not a regular file"},
        {"a directory under the temporary name", [](const fs::path& d) { fs::create_directory(d / "t.h5.part"); },
         "t.h5.part"},
        {"a file the user may not write",
         [](const fs::path& d) {
             write_file(d / "t.h5", "precious\n");
             fs::permissions(d / "t.h5", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
         },
         "cannot replace t.h5: Permission denied"},
    };
    for (const obstacle& o : obstacles) {
        SCOPED_TRACE(o.what);
        temp_folder f;
        // As root, access checks do not apply: the run goes as the user nobody.
        run_options options;
        fs::path program = program_path("kelvane");
        if (::geteuid() == 0) {
            fs::permissions(f.path(), fs::perms::all);
            program = world_readable_copy("kelvane", f.path());
            options.user = 65534;
        }
        o.make(f.path());
        const auto before = file_names(f.path());
        options.cwd = f.path();
        options.args = split_words("--hdf5 t.h5 10 2 -1 0 1" + water + "4");
        const run_result r = run_program(program, options);
        EXPECT_EQ(r.status, 2) << r.describe();
        EXPECT_NE(r.err.find(o.named), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << "refused before the report";
        EXPECT_EQ(file_names(f.path()), before);
    }
}

TEST(Table, ALeftoverTemporaryFileIsReplacedAndAnOlderTableKeepsItsMode)
{
    temp_folder f;
    write_file(f / "t.h5", "an older table\n");
    fs::permissions(f / "t.h5", fs::perms(0640));
    write_file(f / "t.h5.part", "left by a run that was killed\n");
    const run_result r = kelvane(f.path(), "--hdf5 t.h5 10 2 -1 3 3" + water + "4");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(file_names(f.path()), std::vector<std::string>{"t.h5"});
    EXPECT_EQ(fs::status(f / "t.h5").permissions(), fs::perms(0640));
    EXPECT_EQ(table_checks::planes_of(f / "t.h5").first, 3);
}

TEST(Table, ASymbolicLinkIsWrittenThrough)
{
    temp_folder f;
    fs::create_directory(f / "store");
    fs::create_symlink("store/water.h5", f / "t.h5");
    const run_result r = kelvane(f.path(), "--hdf5 t.h5 10 2 -1 3 3" + water + "4");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(f / "t.h5"));
    EXPECT_EQ(file_names(f / "store"), std::vector<std::string>{"water.h5"});
    EXPECT_EQ(table_checks::planes_of(f / "t.h5").count, 1);
}

TEST(Table, TheOptionNeedsAFileNameAndSodrelIgnoresIt)
{
    for (const std::string& args : {std::string("--hdf5"), "--hdf5 '' 10 2 -1 0 0" + water + "4",
                                   "--hdf5 --fourier 10 2 -1 0 0" + water + "4"}) {
        SCOPED_TRACE(args);
        temp_folder f;
        const run_result r = kelvane(f.path(), args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("kelvane: --hdf5 needs a file name", 0), 0u) << r.err;
        EXPECT_NE(r.err.find("\nusage: kelvane "), std::string::npos) << r.err;
        EXPECT_TRUE(file_names(f.path()).empty());
    }
    temp_folder f;
    const run_result plain = run_in(f.path(), "sodrel", "10 64 -1 0 0" + water + "17");
    const run_result with = run_in(f.path(), "sodrel", "--hdf5 t.h5 --fourier 10 64 -1 0 0" + water + "17");
    EXPECT_EQ(with.status, 0);
    EXPECT_EQ(with.out, plain.out);
    EXPECT_EQ(with.err, plain.err);
    EXPECT_TRUE(file_names(f.path()).empty());
}

}  // namespace
