// A run whose standard error is a terminal, and whose report goes elsewhere,
// shows one progress line there, redrawn in place and cleared at the end;
// with the report on the terminal too there is none (and with standard error
// on a file or pipe none either, as every other test of the programs shows).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "tests/support/paths.hpp"
#include "tests/support/temp_folder.hpp"

namespace {

struct terminal_run {
    int status = -1;
    std::string terminal;   // what the program wrote on its terminal
};

// kelvane for water, planes 0..2 at jmax 4, with standard error on a new
// terminal and standard output on the terminal too or on a file.
terminal_run run_on_terminal(bool report_on_terminal)
{
    const test_support::temp_folder folder("progress_line");
    terminal_run r;
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        if (::chdir(folder.path().c_str()) != 0) ::_exit(126);
        if (!report_on_terminal) {
            const int fd = ::open("report", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0) ::_exit(126);
        }
        const std::string program = test_support::program_path("kelvane").string();
        ::execl(program.c_str(), "kelvane", "10", "2", "-1", "0", "2", "27.877", "14.512", "9.285", "4",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) r.terminal.append(buffer, static_cast<std::size_t>(n));
        else if (n < 0 && errno == EINTR) continue;
        else break;   // EIO once the program has gone
    }
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    ::close(master);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

TEST(ProgressLine, IsDrawnOnTheTerminalAndClearedAtTheEnd)
{
    const terminal_run r = run_on_terminal(false);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.terminal.find("\rkelvane: 0 of 3 planes, "), std::string::npos) << r.terminal;
    EXPECT_NE(r.terminal.find("\rkelvane: 3 of 3 planes, "), std::string::npos) << r.terminal;
    EXPECT_EQ(r.terminal.find('\n'), std::string::npos) << "one line, redrawn in place";
    EXPECT_TRUE(r.terminal.ends_with("\r\033[K")) << r.terminal;
}

TEST(ProgressLine, IsNotDrawnWhenTheReportGoesToTheTerminal)
{
    const terminal_run r = run_on_terminal(true);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.terminal.find("rho.den002"), std::string::npos);
    EXPECT_EQ(r.terminal.find(" planes, "), std::string::npos) << r.terminal;
}

}  // namespace
