// Checked standard output and the ways a program ends.
//
// Standard output goes through C stdio, so text written here and text written
// with printf stay in order.  A failed write is seen at the latest when the
// buffer is flushed; every flush is checked, including the one at a normal
// return from main, so that a report lost on a full disk never ends with
// status 0.
#include "textio/textio.hpp"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace textio {

namespace {

constexpr const char* stdout_failure = "cannot write to standard output";

// Set once an ending has written its report, so that the check at exit does
// not report a failure a second time.
bool ending = false;

void write_stderr(std::string_view s)
{
    std::fwrite(s.data(), 1, s.size(), stderr);
}

bool flush_stdout() { return std::fflush(stdout) == 0 && !std::ferror(stdout); }

[[noreturn]] void end(int status)
{
    ending = true;
    std::fflush(stderr);
    std::exit(status);
}

// After main returns (or exit is called elsewhere) and before the runtime's
// own, unchecked, final flush.
void check_stdout_at_exit()
{
    if (ending) return;
    if (!flush_stdout()) {
        write_stderr(stdout_failure);
        write_stderr("\n");
        std::fflush(stderr);
        std::_Exit(2);
    }
}

const bool exit_check_installed = std::atexit(check_stdout_at_exit) == 0;

// Flush standard output before an ending; a failure turns the ending into
// an input/output failure.
void flush_before_ending()
{
    (void)exit_check_installed;
    if (!flush_stdout()) io_failure(stdout_failure);
}

}  // namespace

void out(std::string_view s)
{
    if (std::fwrite(s.data(), 1, s.size(), stdout) != s.size()) throw run_failure(stdout_failure);
}

void out_line(std::string_view s)
{
    out(s);
    if (std::fputc('\n', stdout) == EOF) throw run_failure(stdout_failure);
}

void flush_out()
{
    if (!flush_stdout()) throw run_failure(stdout_failure);
}

[[noreturn]] void stop(std::string_view message)
{
    flush_before_ending();
    write_stderr("STOP ");
    write_stderr(message);
    write_stderr("\n");
    end(0);
}

[[noreturn]] void stop()
{
    flush_before_ending();
    end(0);
}

[[noreturn]] void io_failure(std::string_view message) { fail(message); }

[[noreturn]] void fail(std::string_view message)
{
    // Standard output may itself be what failed: flush it once, quietly.
    if (!ending) {
        ending = true;
        std::fflush(stdout);
    }
    write_stderr(message);
    write_stderr("\n");
    end(2);
}

[[noreturn]] void usage_error(std::string_view message, std::string_view usage)
{
    flush_before_ending();
    write_stderr(message);
    write_stderr("\nusage: ");
    write_stderr(usage);
    write_stderr("\n");
    end(2);
}

void ignore_file_size_signal() { std::signal(SIGXFSZ, SIG_IGN); }

int report_ending(const std::exception_ptr& e, std::string_view program)
{
    // Each branch writes what its ending writes; the exit is the caller's.
    auto failure = [](std::string_view message) {
        if (!ending) {
            ending = true;
            std::fflush(stdout);
        }
        write_stderr(message);
        write_stderr("\n");
        std::fflush(stderr);
        return 2;
    };
    try {
        std::rethrow_exception(e);
    } catch (const stop_run& s) {
        if (!flush_stdout()) return failure(stdout_failure);
        ending = true;
        if (s.message) {
            write_stderr("STOP ");
            write_stderr(*s.message);
            write_stderr("\n");
        }
        std::fflush(stderr);
        return 0;
    } catch (const usage_failure& u) {
        if (!flush_stdout()) return failure(stdout_failure);
        return failure(std::string(u.what()) + "\nusage: " + u.usage());
    } catch (const std::bad_alloc&) {
        return failure(std::string(program) + ": out of memory");
    } catch (const std::exception& x) {
        return failure(x.what());
    }
}

[[noreturn]] void end_by(const std::exception_ptr& e, std::string_view program)
{
    const int status = report_ending(e, program);
    ending = true;
    std::exit(status);
}

}  // namespace textio
