// Text in and out, shared by the four programs: Fortran-style fixed fields
// (Fw.d, Ew.d, Iw), list-directed ("free-format") lines, the free-form number
// reader for arguments and records, checked standard output, and the ways a
// program ends (stop, usage error, input/output failure).
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace textio {

// ---- Fixed fields -------------------------------------------------------
// Each appends exactly w characters to out: the value correctly rounded
// (ties to even on the exact binary value, as the Fortran runtime does),
// right-aligned, a leading zero where the field has room, the minus sign kept
// on a negative value that rounds to zero, asterisks when it does not fit,
// "NaN" right-aligned for a value that is not a number, "Infinity" or "Inf"
// (with a minus sign when negative) for an infinity.  A field of width w <= 0
// appends nothing; Ew.d needs d >= 1 (asterisks otherwise).  No allocation
// beyond growing out, so a string reused for every line allocates nothing.
void put_f(std::string& out, double v, int w, int d);        // Fw.d
void put_e(std::string& out, double v, int w, int d);        // Ew.d, 0.dddE+xx / 0.ddd+xxx
void put_i(std::string& out, std::int64_t v, int w);         // Iw

// ---- List-directed lines ---------------------------------------------------
// A line as the Fortran runtime writes it without a format: a leading blank,
// then the items, each after one blank except a character item that follows a
// character item; integers in 11 columns, reals with 17 significant digits
// (so that they read back exactly) in 25 columns in the runtime's G layout,
// character items as they stand.  str() has no line end; a line without
// items is empty, as the runtime writes it.
//   free_line().text("jmax=").integer(20).str() == " jmax=          20"
class free_line {
public:
    free_line& text(std::string_view s);
    free_line& integer(std::int32_t v);
    free_line& real(double v);
    const std::string& str() const { return line_; }

private:
    void separate(bool text_item);

    std::string line_;
    bool last_was_text_ = true;
    bool first_ = true;
};

// ---- Free-form number input --------------------------------------------
// Command-line argument `position` (1-based) as the 30-character window the
// reader looks through: padded with blanks, cut at 30, 30 blanks if absent.
std::string argument_window(int argc, char** argv, int position);

// One value read in free form from the start of text: leading blanks (blank,
// tab, carriage return, line feed) skipped, the value ended by a blank, comma,
// slash or the end of text; the rest is ignored.  The value itself must then be one of the forms of
// parse_real / parse_int below, and read_int's must fit 32 bits.  nullopt
// when the text holds no such value: an empty or null item (nothing before
// the first comma or slash), a repeat count ("3*5"), a word, a fraction for
// an integer, "inf"/"nan", a real beyond the double range.
std::optional<double> read_real(std::string_view text);
std::optional<std::int32_t> read_int(std::string_view text);

// Text as a message may show it on a terminal: a control character becomes
// its escape (\r, \n, \t, or \xNN), so that an argument saved with DOS line
// endings shows what it holds instead of garbling the line.
std::string shown(std::string_view text);

// A whole token, already cut out of its text (no blanks around it), in the
// number forms that read_real and read_int accept:
//   real:    [sign] mantissa [exponent]
//            mantissa: digits, digits "." [digits], or "." digits
//            exponent: one of E e D d, then [sign] digits
//   integer: [sign] digits
// Accepted: "300", "300.", ".5", "-3.0d2", "+1E-5", "1.5D+03", "007".
// Rejected: "", "+", ".", "1e", "1.5e+", "e5", "1+5" (exponent without its
// letter), "1q5", "3*5", "inf", "nan", "0x10", "1,5", "1;2" and anything with
// a blank.  A real is correctly rounded to the nearest double; one beyond the
// double range is rejected, one below it becomes a zero of its sign.  A
// parse_int value must fit 64 bits.
std::optional<double> parse_real(std::string_view token);
std::optional<std::int64_t> parse_int(std::string_view token);

// A whole token in every form the Fortran runtime's list-directed read takes
// for a real, as the records of an energy file are read: the forms of
// parse_real, and
//   - the exponent letter Q or q ("1.0q5");
//   - the exponent without its letter, its sign then required, as the runtime
//     writes exponents beyond +-99: "0.123456789-100", "-0.525+001";
//   - Inf, Infinity and NaN in any case after an optional sign, and NaN(...)
//     with anything between the parentheses but ")", a blank, tab, line end,
//     comma, slash or semicolon: "-Infinity", "NaN(abc)".  NaN is the quiet
//     NaN without payload, with the sign written;
//   - a real beyond the double range: an infinity of its sign.
// Rejected as by the runtime: "1.0+", "1+-5", "infinit", "infinityx",
// "nan(", "nan()x", "nan(a;b)".  Values are correctly rounded, letterless
// exponents included; below the double range they become a subnormal or a
// zero of their sign.
std::optional<double> parse_list_directed_real(std::string_view token);

// ---- Standard output ------------------------------------------------------
// Buffered and checked: a failed write or flush throws run_failure
// ("cannot write to standard output").
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

// ---- Ending the program ------------------------------------------------
// Every ending flushes standard output first; if that flush fails, the
// ending becomes a failure (exit status 2).  A normal return from main is
// checked the same way.  The endings go through std::exit, so C stdio
// streams are flushed and static objects destroyed, but objects with
// automatic storage are not: close files before ending.
//
// Stop convention: standard output flushed, then "STOP " and the message on
// standard error, exit status 0.  The bare stop prints nothing.
[[noreturn]] void stop(std::string_view message);
[[noreturn]] void stop();
// A failure the run cannot go on from (memory, environment, a broken peer):
// standard output flushed, the message and a line end on standard error,
// exit status 2.  io_failure is the same for an input or output failure.
[[noreturn]] void fail(std::string_view message);
[[noreturn]] void io_failure(std::string_view message);
// An unusable argument: the message, then "usage: " and usage (the command
// synopsis, e.g. "kelvane temp nslice ..."), each on its own line on
// standard error; exit status 2.  Nothing is written on standard output.
[[noreturn]] void usage_error(std::string_view message, std::string_view usage);

// ---- Endings carried to main --------------------------------------------
// The stages of a program do not end the process themselves: they throw one
// of these, and the program's main decides how the run ends (a plain
// program by end_by, an MPI job after telling its other ranks).  Files a
// stage has open are closed, and half-written ones removed, on the way up.
struct stop_run {
    std::optional<std::string> message;   // none: the bare stop
};
class run_failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class usage_failure : public run_failure {
public:
    usage_failure(const std::string& message, std::string usage)
        : run_failure(message), usage_(std::move(usage)) {}
    const std::string& usage() const { return usage_; }

private:
    std::string usage_;
};

// What the ending carried by e says, written as its ending would write it
// (standard output flushed first), and the exit status it asks for: 0 for
// a stop, 2 for anything else.  std::bad_alloc reads "<program>: out of
// memory"; any other exception its what().
int report_ending(const std::exception_ptr& e, std::string_view program);

// report_ending, then exit with its status.
[[noreturn]] void end_by(const std::exception_ptr& e, std::string_view program);

// A write past the file-size limit (ulimit -f) then fails with EFBIG like
// any other failed write, and is reported, instead of killing the process
// with SIGXFSZ and leaving its temporary files behind.
void ignore_file_size_signal();

// A program's main: body(), then the checked flush of standard output and
// status 0; an ending thrown by body ends the run by end_by.  The file-size
// signal is ignored throughout.
template <class Body>
int run_main(std::string_view program, Body&& body)
{
    ignore_file_size_signal();
    try {
        body();
        flush_out();
    } catch (...) {
        end_by(std::current_exception(), program);
    }
    return 0;
}

}  // namespace textio
