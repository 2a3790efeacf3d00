// Free-form number input: command-line arguments and the records of the
// energy files.
//
// The Fortran runtime's list-directed read is the model.  The records of an
// energy file are read as the runtime reads them, since the simulation that
// writes them is a Fortran program: every form the runtime takes for a real
// is a number there (parse_list_directed_real),
// including the exponent without its letter that the runtime writes beyond
// +-99 ("0.123456789-100"), the letter Q, Infinity and NaN, and a value beyond
// the double range, which the runtime reads as an infinity.
//
// Arguments get one rule on top: a value the programs cannot use is rejected
// rather than turned into something else.  Where the runtime is more
// permissive parse_real refuses:
//   - null values (an empty item before a comma or slash, an empty text) and
//     repeat counts ("3*5", "3*"): the runtime leaves the variable as it was
//     or repeats a value, neither of which means anything for one number;
//   - "inf", "Infinity", "nan": no temperature or rotational constant can be
//     one;
//   - a real beyond the double range: the runtime gives an infinity;
//   - an exponent without its letter ("1.0+5", "1-5") or with the letter Q,
//     and ";" as a separator: "1-5" reading as 1e-5 would surprise anyone on
//     a command line.
// A real below the double range rounds to a zero of its sign, as in the
// runtime; 4.9e-324 and the other subnormals are read exactly rounded.
#include "textio/textio.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace textio {

namespace {

constexpr std::size_t argument_columns = 30;

// A carriage return or line feed reads as a blank, as in the runtime, so an
// argument saved with DOS line endings ("4\r") is the number it shows.
bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool ends_value(char c) { return is_blank(c) || c == ',' || c == '/'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The first value of a free-form text: leading blanks skipped, up to the next
// blank, comma or slash.
std::string_view first_value(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && is_blank(text[i])) ++i;
    std::size_t j = i;
    while (j < text.size() && !ends_value(text[j])) ++j;
    return text.substr(i, j - i);
}

// Conversion of a token whose grammar is already checked and whose exponent
// letter, if any, is E or e; the mantissa sign, if any, is '-'.  from_chars
// reports values beyond the range of a double either way; strtod tells an
// overflow (an infinity of the sign) from an underflow (a subnormal or a zero
// of the sign), both correctly rounded as the runtime rounds them.
std::optional<double> convert(const char* first, const char* last, bool beyond_range)
{
    double v = 0;
    auto r = std::from_chars(first, last, v, std::chars_format::general);
    if (r.ec == std::errc() && r.ptr == last) return v;
    if (r.ec != std::errc::result_out_of_range) return std::nullopt;
    std::string copy(first, last);
    double s = std::strtod(copy.c_str(), nullptr);
    if (!std::isfinite(s) && !beyond_range) return std::nullopt;
    return s;
}

bool is_exponent_letter(char c, bool runtime_forms)
{
    return c == 'e' || c == 'E' || c == 'd' || c == 'D' || (runtime_forms && (c == 'q' || c == 'Q'));
}

bool same_letters(std::string_view text, std::string_view lower)
{
    if (text.size() != lower.size()) return false;
    for (std::size_t k = 0; k < text.size(); ++k)
        if ((text[k] | 0x20) != lower[k]) return false;
    return true;
}

// Inf, Infinity, NaN in any case, and NaN(...): between the parentheses
// anything but a closing parenthesis or a byte the runtime takes for a
// separator.  The runtime's NaN is the quiet one without payload, with the
// sign as written.
std::optional<double> special_value(std::string_view body, bool negative)
{
    const double sign = negative ? -1.0 : 1.0;
    if (same_letters(body, "inf") || same_letters(body, "infinity"))
        return std::copysign(std::numeric_limits<double>::infinity(), sign);
    if (body.size() < 3 || !same_letters(body.substr(0, 3), "nan")) return std::nullopt;
    const std::string_view tag = body.substr(3);
    if (!tag.empty()) {
        if (tag.size() < 2 || tag.front() != '(' || tag.back() != ')') return std::nullopt;
        if (tag.substr(1, tag.size() - 2).find_first_of(std::string_view(") \t\r\n,/;")) != std::string_view::npos)
            return std::nullopt;
    }
    return std::copysign(std::numeric_limits<double>::quiet_NaN(), sign);
}

// The grammar and value of a real token.  The runtime forms add to the
// argument forms: the letter Q, the exponent without its letter (a sign then
// required, "1.0+5"), Inf/Infinity/NaN, and values beyond the double range.
std::optional<double> parse_token(std::string_view token, bool runtime_forms)
{
    const char* p = token.data();
    const char* const end = p + token.size();
    const char* start = p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        if (*p == '+') ++start;   // from_chars takes no plus sign
        ++p;
    }
    if (runtime_forms && p < end && ((*p | 0x20) == 'i' || (*p | 0x20) == 'n'))
        return special_value(std::string_view(p, static_cast<std::size_t>(end - p)), negative);
    std::size_t mantissa_digits = 0;
    while (p < end && is_digit(*p)) ++p, ++mantissa_digits;
    if (p < end && *p == '.') {
        ++p;
        while (p < end && is_digit(*p)) ++p, ++mantissa_digits;
    }
    if (mantissa_digits == 0) return std::nullopt;
    // Where the exponent begins: its letter, or the sign of an exponent
    // written without one.
    const char* exponent = nullptr;
    bool letterless = false;
    if (p < end) {
        exponent = p;
        if (is_exponent_letter(*p, runtime_forms)) {
            ++p;
            if (p < end && (*p == '+' || *p == '-')) ++p;
        } else if (runtime_forms && (*p == '+' || *p == '-')) {
            letterless = true;
            ++p;
        } else {
            return std::nullopt;
        }
        if (p == end || !is_digit(*p)) return std::nullopt;
        while (p < end && is_digit(*p)) ++p;
        if (p != end) return std::nullopt;
    }
    if (exponent == nullptr || *exponent == 'e' || *exponent == 'E') return convert(start, end, runtime_forms);

    // The Fortran letters D and Q, or no letter: convert a copy written with
    // E, so that the value is rounded once, from all its digits.
    const std::size_t n = static_cast<std::size_t>(end - start) + (letterless ? 1 : 0);
    const std::size_t at = static_cast<std::size_t>(exponent - start);
    auto write_copy = [&](char* buf) {
        std::copy(start, exponent, buf);
        buf[at] = 'e';
        std::copy(letterless ? exponent : exponent + 1, end, buf + at + 1);
    };
    constexpr std::size_t room = 64;
    if (n <= room) {
        char buf[room];
        write_copy(buf);
        return convert(buf, buf + n, runtime_forms);
    }
    std::string buf(n, ' ');
    write_copy(buf.data());
    return convert(buf.data(), buf.data() + n, runtime_forms);
}

}  // namespace

std::optional<double> parse_real(std::string_view token)
{
    return parse_token(token, false);
}

std::optional<double> parse_list_directed_real(std::string_view token)
{
    return parse_token(token, true);
}

std::optional<std::int64_t> parse_int(std::string_view token)
{
    const char* p = token.data();
    const char* const end = p + token.size();
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (p == end) return std::nullopt;
    // Accumulate the magnitude as unsigned; the limit of a negative value is
    // one more than that of a positive one.
    const std::uint64_t limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
    std::uint64_t m = 0;
    for (; p < end; ++p) {
        if (!is_digit(*p)) return std::nullopt;
        std::uint64_t digit = static_cast<std::uint64_t>(*p - '0');
        if (m > (limit - digit) / 10) return std::nullopt;
        m = 10 * m + digit;
    }
    if (negative) return static_cast<std::int64_t>(0 - m);
    return static_cast<std::int64_t>(m);
}

std::string shown(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (u < 0x20 || u == 0x7f) {
            static constexpr char hex[] = "0123456789abcdef";
            out += "\\x";
            out += hex[u >> 4];
            out += hex[u & 15];
        } else {
            out += c;
        }
    }
    return out;
}

std::string argument_window(int argc, char** argv, int position)
{
    if (position >= 0 && position < argc && argv[position] != nullptr) return argument_window(argv[position]);
    return argument_window(std::string_view());
}

std::string argument_window(std::string_view value)
{
    std::string w(value.substr(0, argument_columns));
    w.resize(argument_columns, ' ');
    return w;
}

std::string shown_window(const std::string& window)
{
    return shown(window.substr(0, window.find_last_not_of(' ') + 1));
}

std::optional<double> read_real(std::string_view text)
{
    std::string_view value = first_value(text);
    if (value.empty()) return std::nullopt;
    return parse_real(value);
}

std::optional<std::int32_t> read_int(std::string_view text)
{
    std::string_view value = first_value(text);
    if (value.empty()) return std::nullopt;
    auto v = parse_int(value);
    if (!v || *v < std::numeric_limits<std::int32_t>::min() || *v > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(*v);
}

}  // namespace textio
