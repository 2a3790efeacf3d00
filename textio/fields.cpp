// Fortran-style fixed fields (Fw.d, Ew.d, Iw) and list-directed lines.
//
// The digits come from std::to_chars with a precision, which rounds the exact
// binary value correctly with ties to even, as the Fortran runtime does; the
// layout rules below (leading zero only where the field has room, the sign of
// a value that rounds to zero, asterisks, Inf/Infinity/NaN) are the runtime's.
#include "textio.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace textio {

namespace {

// Powers of ten that a double holds exactly: a field of width w <= 22 cannot
// show a magnitude of 10^w or more, which spares converting huge values.
constexpr double exact_pow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                  1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

char* grow(std::string& out, int w)
{
    std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(w));
    return out.data() + at;
}

void put_stars(std::string& out, int w) { out.append(static_cast<std::size_t>(w), '*'); }

void put_right(std::string& out, int w, std::string_view s)
{
    out.append(static_cast<std::size_t>(w) - s.size(), ' ');
    out.append(s);
}

// Infinity and NaN as the runtime writes them in F and E fields: "Infinity"
// where it fits (with its sign, "-Infinity", for a negative one), "Inf"
// otherwise, asterisks below three columns and for -Inf in three.
void put_not_finite(std::string& out, double v, int w)
{
    if (w < 3) return put_stars(out, w);
    if (std::isnan(v)) return put_right(out, w, "NaN");
    if (std::signbit(v)) {
        if (w == 3) return put_stars(out, w);
        return put_right(out, w, w > 8 ? "-Infinity" : "-Inf");
    }
    put_right(out, w, w > 7 ? "Infinity" : "Inf");
}

// The common layout of F and E fields: [blanks][-][0].after[exponent], where
// `before` holds the digits before the point (empty when there are none).
// The zero before the point is written only where a blank would otherwise
// stand; a one-column field, or a two-column field with a sign, never holds
// a number.
void lay_out(std::string& out, int w, bool negative, std::string_view before,
             std::string_view after, std::string_view exponent)
{
    long blanks = static_cast<long>(w) - static_cast<long>(before.size() + after.size() + 1 + exponent.size()) -
                  (negative ? 1 : 0);
    bool lead_zero = before.empty() && blanks > 0;
    if (blanks < 0 || w == 1 || (w == 2 && negative)) return put_stars(out, w);
    if (lead_zero) --blanks;
    char* p = grow(out, w);
    std::memset(p, ' ', static_cast<std::size_t>(blanks));
    p += blanks;
    if (negative) *p++ = '-';
    if (lead_zero) *p++ = '0';
    std::memcpy(p, before.data(), before.size());
    p += before.size();
    *p++ = '.';
    std::memcpy(p, after.data(), after.size());
    p += after.size();
    std::memcpy(p, exponent.data(), exponent.size());
}

// Room for any double in fixed notation with up to 64 decimals.
constexpr int small_precision = 64;
constexpr std::size_t conversion_room = 400;

void put_f_digits(std::string& out, double a, bool negative, int w, int d, char* buf, std::size_t room)
{
    auto r = std::to_chars(buf, buf + room, a, std::chars_format::fixed, d);
    std::string_view all(buf, static_cast<std::size_t>(r.ptr - buf));
    std::string_view before = d > 0 ? all.substr(0, all.size() - static_cast<std::size_t>(d) - 1) : all;
    std::string_view after = d > 0 ? all.substr(all.size() - static_cast<std::size_t>(d)) : std::string_view();
    if (before == "0") before = {};
    lay_out(out, w, negative, before, after, {});
}

void put_e_digits(std::string& out, double a, bool negative, int w, int d, char* buf, std::size_t room)
{
    // d significant digits and the exponent of the form 0.ddd x 10^e
    char* digits = buf;
    int e10 = 0;
    if (a == 0) {
        std::memset(digits, '0', static_cast<std::size_t>(d));
    } else {
        char* s = buf + d + 1;
        auto r = std::to_chars(s, buf + room, a, std::chars_format::scientific, d - 1);
        digits[0] = s[0];
        if (d > 1) std::memcpy(digits + 1, s + 2, static_cast<std::size_t>(d - 1));
        const char* e = s + (d > 1 ? d + 1 : 1);   // at the 'e'
        int x = 0;
        for (const char* q = e + 2; q < r.ptr; ++q) x = 10 * x + (*q - '0');
        e10 = (e[1] == '-' ? -x : x) + 1;
    }
    // Two exponent digits after the letter E; three in place of the letter
    // beyond +-99.
    char exponent[4];
    int ae = e10 < 0 ? -e10 : e10;
    if (ae <= 99) {
        exponent[0] = 'E';
        exponent[1] = e10 < 0 ? '-' : '+';
        exponent[2] = static_cast<char>('0' + ae / 10);
        exponent[3] = static_cast<char>('0' + ae % 10);
    } else if (ae <= 999) {
        exponent[0] = e10 < 0 ? '-' : '+';
        exponent[1] = static_cast<char>('0' + ae / 100);
        exponent[2] = static_cast<char>('0' + ae / 10 % 10);
        exponent[3] = static_cast<char>('0' + ae % 10);
    } else {
        return put_stars(out, w);
    }
    lay_out(out, w, negative, {}, std::string_view(digits, static_cast<std::size_t>(d)),
            std::string_view(exponent, 4));
}

}  // namespace

void put_f(std::string& out, double v, int w, int d)
{
    if (w <= 0) return;
    if (!std::isfinite(v)) return put_not_finite(out, v, w);
    if (d < 0) d = 0;
    double a = std::fabs(v);
    // A point and d decimals need d+1 columns; a magnitude of 10^w needs w+1
    // before the point alone.
    if (d >= w || (w <= 22 && a >= exact_pow10[w])) return put_stars(out, w);
    bool negative = std::signbit(v);
    if (d <= small_precision) {
        char buf[conversion_room];
        put_f_digits(out, a, negative, w, d, buf, sizeof buf);
    } else {
        std::string buf(conversion_room + static_cast<std::size_t>(d), '\0');
        put_f_digits(out, a, negative, w, d, buf.data(), buf.size());
    }
}

void put_e(std::string& out, double v, int w, int d)
{
    if (w <= 0) return;
    if (!std::isfinite(v)) return put_not_finite(out, v, w);
    // The point, d digits and four exponent columns must fit.  Without a
    // digit there is no 0.ddd form to write.
    if (d < 1 || d + 5 > w) return put_stars(out, w);
    double a = std::fabs(v);
    bool negative = std::signbit(v);
    if (d <= small_precision) {
        char buf[2 * small_precision + 40];
        put_e_digits(out, a, negative, w, d, buf, sizeof buf);
    } else {
        std::string buf(2 * static_cast<std::size_t>(d) + 40, '\0');
        put_e_digits(out, a, negative, w, d, buf.data(), buf.size());
    }
}

void put_i(std::string& out, std::int64_t v, int w)
{
    if (w <= 0) return;
    char buf[24];
    char* end = buf + sizeof buf;
    char* p = end;
    std::uint64_t m = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    do {
        *--p = static_cast<char>('0' + m % 10);
        m /= 10;
    } while (m != 0);
    if (v < 0) *--p = '-';
    std::size_t n = static_cast<std::size_t>(end - p);
    if (n > static_cast<std::size_t>(w)) return put_stars(out, w);
    out.append(static_cast<std::size_t>(w) - n, ' ');
    out.append(p, n);
}

// ---- List-directed lines ---------------------------------------------------
// The runtime starts a line with a blank (a line without items is empty) and
// puts one blank before every item except the first and except a character
// item that follows a character item.
// A 32-bit integer takes 11 columns; a double takes 25: in the exponent layout
// 1.dddddddddddddddde+xxx right-aligned, in the fixed layout (used when the
// value rounded to 17 significant digits lies in [0.1, 1e17), and for zero)
// the 17 digits right-aligned in 20 columns followed by 5 blanks where the
// exponent would stand.

void free_line::separate(bool text_item)
{
    if (first_) {
        first_ = false;
        line_ += ' ';
    } else if (!(text_item && last_was_text_))
        line_ += ' ';
    last_was_text_ = text_item;
}

free_line& free_line::text(std::string_view s)
{
    separate(true);
    line_ += s;
    return *this;
}

free_line& free_line::integer(std::int32_t v)
{
    separate(false);
    put_i(line_, v, 11);
    return *this;
}

free_line& free_line::real(double v)
{
    separate(false);
    if (!std::isfinite(v)) {
        put_right(line_, 25, std::isnan(v) ? "NaN" : std::signbit(v) ? "-Infinity" : "Infinity");
        return *this;
    }
    // 17 significant digits: d.dddddddddddddddde+xxx
    char sci[40];
    auto r = std::to_chars(sci, sci + sizeof sci, std::fabs(v), std::chars_format::scientific, 16);
    int x = 0;
    for (const char* q = sci + 20; q < r.ptr; ++q) x = 10 * x + (*q - '0');
    int e10 = sci[19] == '-' ? -x : x;
    char digits[17];
    digits[0] = sci[0];
    std::memcpy(digits + 1, sci + 2, 16);

    char text[32];
    char* p = text;
    if (std::signbit(v)) *p++ = '-';
    if (v == 0) {
        std::memcpy(p, "0.0000000000000000", 18);
        p += 18;
    } else if (e10 >= -1 && e10 <= 16) {
        if (e10 == -1) {
            *p++ = '0';
            *p++ = '.';
            std::memcpy(p, digits, 17);
            p += 17;
        } else {
            std::memcpy(p, digits, static_cast<std::size_t>(e10) + 1);
            p += e10 + 1;
            *p++ = '.';
            std::memcpy(p, digits + e10 + 1, static_cast<std::size_t>(16 - e10));
            p += 16 - e10;
        }
    } else {
        *p++ = digits[0];
        *p++ = '.';
        std::memcpy(p, digits + 1, 16);
        p += 16;
        *p++ = 'E';
        *p++ = e10 < 0 ? '-' : '+';
        int ae = e10 < 0 ? -e10 : e10;
        *p++ = static_cast<char>('0' + ae / 100);
        *p++ = static_cast<char>('0' + ae / 10 % 10);
        *p++ = static_cast<char>('0' + ae % 10);
        put_right(line_, 25, std::string_view(text, static_cast<std::size_t>(p - text)));
        return *this;
    }
    put_right(line_, 20, std::string_view(text, static_cast<std::size_t>(p - text)));
    line_.append(5, ' ');
    return *this;
}

}  // namespace textio
