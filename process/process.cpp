// Standard output goes through C stdio, so text written here and text written
// with printf stay in order.  A failed write is seen at the latest when the
// buffer is flushed, and every ending flushes and checks it, so that a report
// lost on a full disk or a closed pipe never ends with status 0.
#include "process/process.hpp"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace process {

namespace {

void write_stderr(std::string_view s) { std::fwrite(s.data(), 1, s.size(), stderr); }

// The system's reason for the last failure on standard output; a stream
// that failed without one (a short write) is reported as an output error.
int stdout_error() { return errno != 0 ? errno : EIO; }

void flush_checked()
{
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) throw standard_output_failure(stdout_error());
}

}  // namespace

standard_output_failure::standard_output_failure(int error)
    : run_failure(std::string("cannot write to standard output: ") + std::strerror(error)), error_(error)
{
}

void out(std::string_view s)
{
    errno = 0;
    if (std::fwrite(s.data(), 1, s.size(), stdout) != s.size()) throw standard_output_failure(stdout_error());
}

void out_line(std::string_view s)
{
    out(s);
    errno = 0;
    if (std::fputc('\n', stdout) == EOF) throw standard_output_failure(stdout_error());
}

void flush_out() { flush_checked(); }

void ignore_silent_signals()
{
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
}

int report_ending(const std::exception_ptr& e, std::string_view program)
{
    auto failure = [&](std::string_view message, std::string_view usage = {}) {
        // Standard output may itself be what failed: flush what can still go
        // out, without a second report.
        std::fflush(stdout);
        write_stderr(program);
        write_stderr(": ");
        write_stderr(message);
        write_stderr("\n");
        if (!usage.empty()) {
            write_stderr("usage: ");
            write_stderr(usage);
            write_stderr("\n");
        }
        std::fflush(stderr);
        return 2;
    };
    try {
        try {
            std::rethrow_exception(e);
        } catch (const stop_run&) {
            flush_checked();
            throw;
        } catch (const usage_failure&) {
            flush_checked();
            throw;
        }
    } catch (const stop_run& s) {
        if (s.message) {
            write_stderr("STOP ");
            write_stderr(*s.message);
            write_stderr("\n");
        }
        std::fflush(stderr);
        return 0;
    } catch (const usage_failure& u) {
        return failure(u.what(), u.usage());
    } catch (const std::bad_alloc&) {
        return failure("out of memory");
    } catch (const std::exception& x) {
        return failure(x.what());
    } catch (...) {
        return failure("unexpected failure");
    }
}

}  // namespace process
