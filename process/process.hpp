// How a program meets its process: checked standard output and the ways a
// run ends.  The stages of a program never end the process themselves: they
// throw one of the endings below, files they hold are closed (and
// half-written ones removed) on the way up, and the program's main turns the
// ending into a report on standard error and an exit status, through
// run_main (or, in an MPI job, report_ending, after telling the other ranks).
#pragma once

#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace process {

// ---- Endings ----------------------------------------------------------------

// The stop convention: standard output flushed, then "STOP " and the message
// on standard error, exit status 0.  The bare stop prints nothing.
struct stop_run {
    std::optional<std::string> message;   // none: the bare stop
};

// A failure the run cannot go on from (an input or output failure, memory,
// a broken peer): the message, after the program's name and ": ", on
// standard error, exit status 2.  Messages say what failed and why, without
// the program's name, which only main knows.
class run_failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An unusable argument: the message, then "usage: " and the synopsis, each
// on its own line; nothing on standard output.
class usage_failure : public run_failure {
public:
    usage_failure(const std::string& message, std::string usage)
        : run_failure(message), usage_(std::move(usage)) {}
    const std::string& usage() const { return usage_; }

private:
    std::string usage_;
};

// What the ending carried by e says, written as its ending writes it
// (standard output flushed first; a failure of that flush turns any ending
// into a failure of standard output), and the exit status it asks for: 0
// for a stop, 2 for anything else.  std::bad_alloc reads "out of memory";
// any other exception its what().
int report_ending(const std::exception_ptr& e, std::string_view program);

// The signals that would end a program without a word where a failed call
// can be reported instead: a write past the file-size limit (SIGXFSZ) fails
// with EFBIG, and a write to a pipe whose reader has gone (SIGPIPE) with
// EPIPE, like any other failed write, so temporary files are removed and
// the reason is told.
void ignore_silent_signals();

// A program's main: body(), then the checked flush of standard output; the
// exit status, 0 or that of the ending thrown by body.
template <class Body>
int run_main(std::string_view program, Body&& body)
{
    ignore_silent_signals();
    try {
        body();
        throw stop_run{};
    } catch (...) {
        return report_ending(std::current_exception(), program);
    }
}

// ---- Standard output ----------------------------------------------------------

// Buffered and checked: a failed write or flush throws
// standard_output_failure, which reports the system's reason.
class standard_output_failure : public run_failure {
public:
    explicit standard_output_failure(int error);
    int error() const { return error_; }

private:
    int error_;
};

void out(std::string_view s);          // as is
void out_line(std::string_view s);     // s and a line end
void flush_out();

// Where a stage writes its lines: standard output, or nowhere, for a
// process whose output nobody reads (the other ranks of an MPI job).
class line_sink {
public:
    static line_sink standard_output() { return line_sink(false); }
    static line_sink discarded() { return line_sink(true); }
    void line(std::string_view s) const
    {
        if (!discard_) out_line(s);
    }

private:
    explicit line_sink(bool discard) : discard_(discard) {}
    bool discard_;
};

}  // namespace process
