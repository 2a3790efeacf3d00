// A set of files that replace older ones together, beyond what kelvane's
// planes and brantor's scan show: a temporary path handed to a library that
// opens files by name, and a signal the run was started to ignore (nohup).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "replacement/file_set.hpp"
#include "tests/support/files.hpp"
#include "tests/support/temp_folder.hpp"

namespace {

using namespace test_support;

TEST(FileSet, APathHandedOverIsPlacedWithTheOthers)
{
    temp_folder f;
    write_file(f / "b", "older\n");
    {
        replacement::file_set files({(f / "a").string(), (f / "b").string()});
        const std::string path = files.hand_over(0);
        EXPECT_EQ(path, (f / "a.part").string());
        std::ofstream(path) << "through its path\n";
        files.write(1, "through the set\n");
        files.place();
    }
    EXPECT_EQ(files_in(f.path()), (std::map<std::string, std::string>{{"a", "through its path\n"},
                                                                     {"b", "through the set\n"}}));
}

TEST(FileSet, ASignalTheRunIgnoresStaysIgnored)
{
    // As under nohup: SIGHUP ignored from the start.
    temp_folder f;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGHUP, SIG_IGN);
        replacement::file_set files({(f / "a").string()});
        files.write(0, "whole\n");
        ::raise(SIGHUP);
        files.place();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(files_in(f.path()), (std::map<std::string, std::string>{{"a", "whole\n"}}));
}

}  // namespace
