// Running a program as a separate process, the way a batch script runs it,
// under conditions a test imposes: its own working directory, arguments
// passed as they are (no shell), standard input from a file, standard output
// and standard error into files, limits on file size and address space,
// another user, other environment variables, and a time limit after which it
// is killed with everything it started.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace test_support {

namespace fs = std::filesystem;

struct run_options {
    fs::path cwd{};                                 // default: the test's own
    std::vector<std::string> args{};                // after the program's name
    std::vector<std::string> environment{};         // NAME=value, in place of the test's own of that name
    std::optional<fs::path> stdout_file{};          // default: captured into run_result::out
    // Standard output a pipe whose reader has gone (as after "| head -1"):
    // its reading end is closed before the program starts, so every write
    // to it fails (EPIPE, or SIGPIPE at its default action).
    bool stdout_closed_pipe = false;
    std::optional<fs::path> stdin_file{};           // default: /dev/null
    // RLIMIT_FSIZE in bytes.  The program starts with SIGXFSZ at its default
    // action (ending the process), as from a plain shell: a program that
    // writes past the limit must turn the signal off itself to report it.
    std::optional<long long> file_size_limit{};
    std::optional<long long> address_space_limit{};   // RLIMIT_AS in bytes
    std::optional<uid_t> user{};                    // run as this user (needs root)
    std::optional<gid_t> group{};                   // and this group (default: the user's number)
    double time_limit = 120;                        // seconds
    std::function<void(pid_t)> started{};           // called with the process id once it runs
};

struct run_result {
    bool exited = false;                            // ended through exit, not a signal
    int status = -1;                                // exit status when exited
    int signal = 0;                                 // the signal that ended it otherwise
    bool timed_out = false;
    std::string out, err;                           // out is empty when stdout_file was given
    double seconds = 0;
    long max_rss_kb = 0;
    std::string describe() const;                   // for failure messages
};

// A program named without a folder is looked up on the PATH it is given.
run_result run_program(const fs::path& program, const run_options& options = {});

// A program of this build (by name) run in `dir` with the words of
// `command_line`, split as split_words splits them.
run_result run_in(const fs::path& dir, const std::string& program, const std::string& command_line);

// A run in a fresh folder holding `files` (content by name), which is the
// working folder whatever options.cwd says, and the names of the files it
// left there.
struct folder_run : run_result {
    std::vector<std::string> files;   // sorted
};
folder_run run_in_fresh_folder(const fs::path& program, run_options options,
                               const std::map<std::string, std::string>& files = {});

// Where a program of that name lies on the test's PATH, if anywhere.
std::optional<fs::path> find_program(const std::string& name);

// The words of a command line as a shell splits plain words and
// single-quoted strings: '' is an empty word, '10 kelvin' one word.
std::vector<std::string> split_words(const std::string& line);

// Whether the tests were built with AddressSanitizer (and so are the
// programs): its shadow memory cannot live under an address-space limit.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool sanitized_build() { return true; }
#else
constexpr bool sanitized_build() { return false; }
#endif

}  // namespace test_support
