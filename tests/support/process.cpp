#include "tests/support/process.hpp"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "tests/support/files.hpp"
#include "tests/support/paths.hpp"
#include "tests/support/temp_folder.hpp"

extern char** environ;

namespace test_support {

namespace {

// Reports a failed set-up step from the child, where only plain system
// calls are safe, and ends it with a status no program uses.
[[noreturn]] void child_fails(const char* step)
{
    const char* reason = std::strerror(errno);
    (void)!::write(2, "spawn: ", 7);
    (void)!::write(2, step, std::strlen(step));
    (void)!::write(2, ": ", 2);
    (void)!::write(2, reason, std::strlen(reason));
    (void)!::write(2, "\n", 1);
    ::_exit(127);
}

int open_for_output(const fs::path& p)
{
    const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + p.string() + ": " + std::strerror(errno));
    return fd;
}

std::string_view name_of(std::string_view entry) { return entry.substr(0, entry.find('=') + 1); }

// The test's environment, with the given variables in place of any of the
// same name.
std::vector<std::string> child_environment(const std::vector<std::string>& given)
{
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string_view entry(*e);
        if (std::none_of(given.begin(), given.end(), [&](const std::string& v) { return name_of(v) == name_of(entry); }))
            env.emplace_back(entry);
    }
    env.insert(env.end(), given.begin(), given.end());
    return env;
}

std::optional<fs::path> find_on(std::string_view path_list, const std::string& name)
{
    while (true) {
        const std::size_t colon = path_list.find(':');
        const fs::path candidate = fs::path(path_list.substr(0, colon).empty() ? "." : path_list.substr(0, colon)) / name;
        if (::access(candidate.c_str(), X_OK) == 0 && !fs::is_directory(candidate)) return candidate;
        if (colon == std::string_view::npos) return std::nullopt;
        path_list.remove_prefix(colon + 1);
    }
}

std::vector<char*> pointers_to(std::vector<std::string>& strings)
{
    std::vector<char*> p;
    for (auto& s : strings) p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

void set_limit(int resource, long long bytes, const char* what)
{
    const rlimit r{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    if (::setrlimit(resource, &r) != 0) child_fails(what);
}

}  // namespace

std::string run_result::describe() const
{
    std::ostringstream s;
    if (timed_out)
        s << "killed after the time limit";
    else if (!exited)
        s << "ended by signal " << signal << " (" << ::strsignal(signal) << ")";
    else
        s << "exit status " << status;
    s << ", " << seconds << " s; stderr: \"" << err.substr(0, 400) << "\"";
    return s.str();
}

std::optional<fs::path> find_program(const std::string& name)
{
    const char* path = std::getenv("PATH");
    return find_on(path ? path : "/usr/bin:/bin", name);
}

std::vector<std::string> split_words(const std::string& line)
{
    std::vector<std::string> words;
    bool in_word = false, quoted = false;
    for (const char c : line) {
        if (c == '\'') {
            quoted = !quoted;
            if (!in_word) words.emplace_back();
            in_word = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            in_word = false;
        } else {
            if (!in_word) words.emplace_back();
            in_word = true;
            words.back() += c;
        }
    }
    if (quoted) throw std::invalid_argument("unmatched quote in: " + line);
    return words;
}

run_result run_program(const fs::path& program, const run_options& o)
{
    std::vector<std::string> env = child_environment(o.environment);
    std::vector<std::string> args{program.string()};
    args.insert(args.end(), o.args.begin(), o.args.end());
    std::vector<char*> argv = pointers_to(args), envp = pointers_to(env);

    static int serial = 0;
    const std::string capture = (fs::temp_directory_path() / ("test_capture_" + std::to_string(::getpid()) + "_" +
                                                              std::to_string(serial++)))
                                    .string();
    const fs::path out_path = o.stdout_file.value_or(capture + ".out");
    const fs::path err_path = capture + ".err";
    // Opened here, as the test's own user, so that a program run as another
    // user still writes its reports.
    int out_fd = -1;
    if (o.stdout_closed_pipe) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
        ::close(ends[0]);
        out_fd = ends[1];
    } else {
        out_fd = open_for_output(out_path);
    }
    const int err_fd = open_for_output(err_path);
    const int in_fd = ::open(o.stdin_file.value_or("/dev/null").c_str(), O_RDONLY | O_CLOEXEC);

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        // A process group of its own, so that the time limit ends whatever it started.
        ::setpgid(0, 0);
        // The programs meet a closed pipe as a batch script would give it to them.
        ::signal(SIGPIPE, SIG_DFL);
        if (::dup2(in_fd, 0) < 0 || ::dup2(out_fd, 1) < 0 || ::dup2(err_fd, 2) < 0) child_fails("dup2");
        if (!o.cwd.empty() && ::chdir(o.cwd.c_str()) != 0) child_fails("chdir");
        ::signal(SIGXFSZ, SIG_DFL);
        if (o.file_size_limit) set_limit(RLIMIT_FSIZE, *o.file_size_limit, "setrlimit RLIMIT_FSIZE");
        if (o.address_space_limit) set_limit(RLIMIT_AS, *o.address_space_limit, "setrlimit RLIMIT_AS");
        if (o.user) {
            if (::setgroups(0, nullptr) != 0) child_fails("setgroups");
            if (::setgid(o.group.value_or(*o.user)) != 0) child_fails("setgid");
            if (::setuid(*o.user) != 0) child_fails("setuid");
        }
        // execvp looks up a program named without a folder on the PATH of
        // the environment in force, which from here on is the child's own.
        environ = envp.data();
        ::execvp(argv[0], argv.data());
        child_fails("execvp");
    }
    ::close(out_fd);
    ::close(err_fd);
    if (in_fd >= 0) ::close(in_fd);

    if (o.started) o.started(pid);

    // The end of the child is awaited on a process descriptor, which wakes at
    // once; where the system has none, by polling with growing pauses.
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    run_result r;
    int wstatus = 0;
    rusage usage{};
    auto pause = std::chrono::microseconds(200);
    for (;;) {
        const pid_t done = ::wait4(pid, &wstatus, WNOHANG, &usage);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) throw std::runtime_error(std::string("wait4: ") + std::strerror(errno));
        const double left =
            o.time_limit - std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!r.timed_out && left <= 0) {
            r.timed_out = true;
            ::kill(-pid, SIGKILL);
            ::kill(pid, SIGKILL);
        }
        pollfd p{pidfd, POLLIN, 0};
        if (pidfd < 0 || ::poll(&p, 1, r.timed_out ? 100 : static_cast<int>(std::min(left * 1000 + 1, 1e6))) < 0) {
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::microseconds(20000));
        }
    }
    if (pidfd >= 0) ::close(pidfd);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.max_rss_kb = usage.ru_maxrss;
    r.exited = WIFEXITED(wstatus);
    if (r.exited) r.status = WEXITSTATUS(wstatus);
    if (WIFSIGNALED(wstatus)) r.signal = WTERMSIG(wstatus);
    const bool captured = !o.stdout_file && !o.stdout_closed_pipe;
    if (captured) r.out = read_file(out_path);
    r.err = read_file(err_path);
    if (captured) fs::remove(out_path);
    fs::remove(err_path);
    return r;
}

run_result run_in(const fs::path& dir, const std::string& program, const std::string& command_line)
{
    return run_program(program_path(program), {.cwd = dir, .args = split_words(command_line)});
}

folder_run run_in_fresh_folder(const fs::path& program, run_options options,
                               const std::map<std::string, std::string>& files)
{
    const temp_folder dir("run");
    for (const auto& [name, content] : files) write_file(dir / name, content);
    options.cwd = dir.path();
    folder_run r{run_program(program, options), {}};
    r.files = file_names(dir.path());
    return r;
}

}  // namespace test_support
