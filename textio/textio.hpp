// Text in and out, shared by the four programs: Fortran-style fixed fields
// (Fw.d, Ew.d, Iw), list-directed ("free-format") lines, and the free-form
// number reader for arguments and records.
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
// items is empty, as the runtime writes it.  A 64-bit integer (the runtime's
// integer(8)) takes 20 columns.
//   free_line().text("jmax=").integer(20).str() == " jmax=          20"
class free_line {
public:
    free_line& text(std::string_view s);
    free_line& integer(std::int32_t v);
    free_line& integer64(std::int64_t v);
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
// The same window of one value (the text after "--option=").
std::string argument_window(std::string_view value);
// A window as a message shows it: without the padding, through shown().
std::string shown_window(const std::string& window);

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

}  // namespace textio
