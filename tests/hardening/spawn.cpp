#include "tests/hardening/spawn.hpp"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <thread>

extern char** environ;

namespace hardening {

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

run_result run_program(const fs::path& program, const run_options& o)
{
    static int serial = 0;
    const fs::path capture = fs::temp_directory_path() /
                             ("hardening_capture_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
    const fs::path out_path = o.stdout_file.value_or(capture.string() + ".out");
    const fs::path err_path = capture.string() + ".err";
    // Opened here, as the test's own user, so that a program run as another
    // user still writes its reports.
    const int out_fd = open_for_output(out_path);
    const int err_fd = open_for_output(err_path);
    const int in_fd = ::open(o.stdin_file.value_or("/dev/null").c_str(), O_RDONLY | O_CLOEXEC);

    std::vector<std::string> args{program.string()};
    args.insert(args.end(), o.args.begin(), o.args.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // The test's environment, with the given variables in place of any of
    // the same name.
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string_view entry(*e);
        const bool replaced = std::any_of(o.environment.begin(), o.environment.end(), [&](const std::string& v) {
            return v.substr(0, v.find('=') + 1) == entry.substr(0, entry.find('=') + 1);
        });
        if (!replaced) env.emplace_back(entry);
    }
    env.insert(env.end(), o.environment.begin(), o.environment.end());
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        ::setpgid(0, 0);
        // The programs meet a closed pipe as a batch script would give it to them.
        ::signal(SIGPIPE, SIG_DFL);
        if (::dup2(in_fd, 0) < 0 || ::dup2(out_fd, 1) < 0 || ::dup2(err_fd, 2) < 0) child_fails("dup2");
        if (!o.cwd.empty() && ::chdir(o.cwd.c_str()) != 0) child_fails("chdir");
        if (o.file_size_limit) {
            // A shell's "ulimit -f" with the signal ignored: a write past the
            // limit then fails with EFBIG, as on a disk quota.
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit r{static_cast<rlim_t>(*o.file_size_limit), static_cast<rlim_t>(*o.file_size_limit)};
            if (::setrlimit(RLIMIT_FSIZE, &r) != 0) child_fails("setrlimit RLIMIT_FSIZE");
        }
        if (o.address_space_limit) {
            const rlimit r{static_cast<rlim_t>(*o.address_space_limit), static_cast<rlim_t>(*o.address_space_limit)};
            if (::setrlimit(RLIMIT_AS, &r) != 0) child_fails("setrlimit RLIMIT_AS");
        }
        if (o.user) {
            if (::setgroups(0, nullptr) != 0) child_fails("setgroups");
            if (::setgid(o.group.value_or(*o.user)) != 0) child_fails("setgid");
            if (::setuid(*o.user) != 0) child_fails("setuid");
        }
        ::execve(argv[0], argv.data(), envp.data());
        child_fails("execve");
    }
    ::close(out_fd);
    ::close(err_fd);
    if (in_fd >= 0) ::close(in_fd);

    if (o.started) o.started(pid);

    run_result r;
    int wstatus = 0;
    rusage usage{};
    auto pause = std::chrono::microseconds(200);
    for (;;) {
        const pid_t done = ::wait4(pid, &wstatus, WNOHANG, &usage);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) throw std::runtime_error(std::string("wait4: ") + std::strerror(errno));
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!r.timed_out && elapsed > o.time_limit) {
            r.timed_out = true;
            ::kill(-pid, SIGKILL);
            ::kill(pid, SIGKILL);
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(20000));
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.max_rss_kb = usage.ru_maxrss;
    r.exited = WIFEXITED(wstatus);
    if (r.exited) r.status = WEXITSTATUS(wstatus);
    if (WIFSIGNALED(wstatus)) r.signal = WTERMSIG(wstatus);
    if (!o.stdout_file) r.out = read_file(out_path);
    r.err = read_file(err_path);
    if (!o.stdout_file) fs::remove(out_path);
    fs::remove(err_path);
    return r;
}

fs::path program_path(const std::string& name) { return fs::path(TOOLKIT_BIN_DIR) / name; }

fs::path world_readable_copy(const std::string& name, const fs::path& dir)
{
    const fs::path copy = dir / name;
    fs::copy_file(program_path(name), copy, fs::copy_options::overwrite_existing);
    fs::permissions(copy, fs::perms(0755));
    return copy;
}

scratch_dir::scratch_dir(const std::string& tag)
{
    static int serial = 0;
    path_ = fs::temp_directory_path() /
            ("hardening_" + tag + "_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
    fs::remove_all(path_);
    fs::create_directories(path_);
}

scratch_dir::~scratch_dir()
{
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string read_file(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const fs::path& p, const std::string& content)
{
    std::ofstream f(p, std::ios::binary);
    f << content;
    f.close();
    if (!f) throw std::runtime_error("cannot write " + p.string());
}

std::vector<std::string> file_names(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace hardening
