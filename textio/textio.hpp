// Text in and out, shared by the four programs: Fortran-style fixed fields
// (Fw.d, Ew.d, Iw), list-directed ("free-format") lines, the free-form number
// reader for arguments and records, checked standard output, and the ways a
// program ends (stop, usage error, input/output failure).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace textio {

// ---- Fixed fields -------------------------------------------------------
// Each appends exactly w characters to out: the value correctly rounded
// (ties to even on the exact binary value, as the Fortran runtime does),
// right-aligned, a leading zero where the field has room, the minus sign kept
// on a negative value that rounds to zero, asterisks when it does not fit,
// "NaN" right-aligned for a value that is not a number.
void put_f(std::string& out, double v, int w, int d);        // Fw.d
void put_e(std::string& out, double v, int w, int d);        // Ew.d, 0.dddE+xx / 0.ddd+xxx
void put_i(std::string& out, std::int64_t v, int w);         // Iw

// ---- List-directed lines ---------------------------------------------------
// A line as the Fortran runtime writes it without a format: a leading blank,
// integers in 12 columns, reals with 17 significant digits in the runtime's
// G layout, character items as they stand.  str() has no line end.
class free_line {
public:
    free_line& text(std::string_view s);
    free_line& integer(std::int32_t v);
    free_line& real(double v);
    const std::string& str() const { return line_; }

private:
    std::string line_ = " ";
    bool last_was_text_ = true;
};

// ---- Free-form number input --------------------------------------------
// Command-line argument `position` (1-based) as the 30-character window the
// reader looks through: padded with blanks, cut at 30, 30 blanks if absent.
std::string argument_window(int argc, char** argv, int position);

// One value read in free form from the start of text: leading blanks skipped,
// ended by blank, tab, comma, slash or end of text; the rest is ignored.
// A real takes integer, fixed and exponent forms (E or D, either case);
// an integer takes an optional sign and digits only and must fit 32 bits.
// nullopt when the text holds no such value.
std::optional<double> read_real(std::string_view text);
std::optional<std::int32_t> read_int(std::string_view text);

// ---- Standard output ------------------------------------------------------
// Buffered and checked: a failed write or flush ends the program through
// io_failure.
void out(std::string_view s);          // as is
void out_line(std::string_view s);     // s and a line end
void flush_out();

// ---- Ending the program ------------------------------------------------
// Stop convention: standard output flushed, then "STOP " and the message on
// standard error, exit status 0.  The bare stop prints nothing.
[[noreturn]] void stop(std::string_view message);
[[noreturn]] void stop();
// An input/output failure the program does not handle itself: standard
// output flushed, the message on standard error, exit status 2.
[[noreturn]] void io_failure(std::string_view message);
// An unusable argument: the message and the usage line on standard error,
// nothing on standard output, exit status 2.
[[noreturn]] void usage_error(std::string_view message, std::string_view usage);

}  // namespace textio
