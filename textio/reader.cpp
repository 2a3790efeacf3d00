// Free-form number input: command-line arguments and the records of the
// energy files.
//
// The Fortran runtime's list-directed read is the model, with one rule on
// top: a value the programs cannot use is rejected rather than turned into
// something else.  Where the runtime is more permissive we refuse:
//   - null values (an empty item before a comma or slash, an empty text) and
//     repeat counts ("3*5", "3*"): the runtime leaves the variable as it was
//     or repeats a value, neither of which means anything for one number;
//   - "inf", "Infinity", "nan": no temperature, rotational constant or
//     energy can be one;
//   - a real beyond the double range: the runtime gives an infinity;
//   - an exponent without its letter ("1.0+5", "1-5") or with the letter Q,
//     and ";" as a separator: not forms of the number notation used here, and
//     "1-5" reading as 1e-5 would surprise anyone.
// A real below the double range rounds to a zero of its sign, as in the
// runtime; 4.9e-324 and the other subnormals are read exactly rounded.
#include "textio/textio.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace textio {

namespace {

constexpr std::size_t argument_columns = 30;

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool ends_value(char c) { return c == ' ' || c == '\t' || c == ',' || c == '/'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The first value of a free-form text: leading blanks and tabs skipped, up to
// the next blank, tab, comma or slash.
std::string_view first_value(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && is_blank(text[i])) ++i;
    std::size_t j = i;
    while (j < text.size() && !ends_value(text[j])) ++j;
    return text.substr(i, j - i);
}

// Conversion of a token whose grammar is already checked; the mantissa sign,
// if any, is '-'.  from_chars reports values beyond the range of a double
// either way; strtod tells an overflow (infinite) from an underflow (a zero).
std::optional<double> convert(const char* first, const char* last)
{
    double v = 0;
    auto r = std::from_chars(first, last, v, std::chars_format::general);
    if (r.ec == std::errc() && r.ptr == last) return v;
    if (r.ec != std::errc::result_out_of_range) return std::nullopt;
    std::string copy(first, last);
    double s = std::strtod(copy.c_str(), nullptr);
    if (!std::isfinite(s)) return std::nullopt;
    return s;
}

}  // namespace

std::optional<double> parse_real(std::string_view token)
{
    const char* p = token.data();
    const char* const end = p + token.size();
    const char* start = p;
    if (p < end && (*p == '+' || *p == '-')) {
        if (*p == '+') ++start;   // from_chars takes no plus sign
        ++p;
    }
    std::size_t mantissa_digits = 0;
    while (p < end && is_digit(*p)) ++p, ++mantissa_digits;
    if (p < end && *p == '.') {
        ++p;
        while (p < end && is_digit(*p)) ++p, ++mantissa_digits;
    }
    if (mantissa_digits == 0) return std::nullopt;
    const char* letter = nullptr;
    if (p < end) {
        if (*p != 'e' && *p != 'E' && *p != 'd' && *p != 'D') return std::nullopt;
        letter = p++;
        if (p < end && (*p == '+' || *p == '-')) ++p;
        if (p == end || !is_digit(*p)) return std::nullopt;
        while (p < end && is_digit(*p)) ++p;
        if (p != end) return std::nullopt;
    }
    if (letter == nullptr || *letter == 'e' || *letter == 'E') return convert(start, end);

    // The Fortran exponent letter D: convert a copy with E in its place.
    constexpr std::size_t room = 64;
    std::size_t n = static_cast<std::size_t>(end - start);
    std::size_t at = static_cast<std::size_t>(letter - start);
    if (n <= room) {
        char buf[room];
        std::copy(start, end, buf);
        buf[at] = 'e';
        return convert(buf, buf + n);
    }
    std::string buf(start, end);
    buf[at] = 'e';
    return convert(buf.data(), buf.data() + n);
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

std::string argument_window(int argc, char** argv, int position)
{
    std::string w;
    if (position >= 0 && position < argc && argv[position] != nullptr) w = argv[position];
    w.resize(argument_columns, ' ');
    return w;
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
