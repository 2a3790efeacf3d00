// Running one of the programs the way a batch script does, under conditions
// the tests impose: its own working directory, arguments passed as they are
// (no shell), standard output and standard error into files, limits on file
// size and address space, another user, and a time limit after which it is
// killed.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace hardening {

namespace fs = std::filesystem;

struct run_options {
    fs::path cwd;
    std::vector<std::string> args;             // after the program's name
    std::optional<fs::path> stdout_file;       // default: a scratch file, read back
    std::optional<fs::path> stdin_file;        // default: /dev/null
    std::optional<long long> file_size_limit;  // RLIMIT_FSIZE in bytes; SIGXFSZ is then ignored
    std::optional<long long> address_space_limit;   // RLIMIT_AS in bytes
    std::optional<uid_t> user;                 // run as this user (needs root)
    std::optional<gid_t> group;                // and this group (default: the user's number)
    std::vector<std::string> environment;      // NAME=value, in place of the test's own
    double time_limit = 120;                   // seconds
    std::function<void(pid_t)> started;        // called with the process id once it runs
};

struct run_result {
    bool exited = false;    // ended through exit, not a signal
    int status = -1;        // exit status when exited
    int signal = 0;         // the signal that ended it otherwise
    bool timed_out = false;
    std::string out, err;   // out is empty when stdout_file was given
    double seconds = 0;
    long max_rss_kb = 0;
    std::string describe() const;   // for failure messages
};

run_result run_program(const fs::path& program, const run_options& options);

// The programs as built, and a copy of one in a directory any user may read
// and enter (the build tree may lie under a home directory closed to others).
fs::path program_path(const std::string& name);
fs::path world_readable_copy(const std::string& name, const fs::path& dir);

// A fresh empty directory under the system's temporary directory, removed
// (with everything in it) when the object goes.
class scratch_dir {
public:
    explicit scratch_dir(const std::string& tag);
    ~scratch_dir();
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

std::string read_file(const fs::path& p);
void write_file(const fs::path& p, const std::string& content);
std::vector<std::string> file_names(const fs::path& dir);   // sorted

// Whether the tests were built with AddressSanitizer (and so are the
// programs): its shadow memory cannot live under an address-space limit.
constexpr bool sanitized_build()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#else
    return false;
#endif
}

}  // namespace hardening
