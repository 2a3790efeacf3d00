// Fortran-style fixed fields (Fw.d, Ew.d, Iw) and list-directed lines.
//
// The Fortran runtime rounds the exact binary value to the digits shown, ties
// to even.  The fields do the same in two ways: for the magnitudes that the
// programs write (about 1e-20 to 1e26 in E fields, below 10^w in F fields)
// by exact integer arithmetic on the value's binary significand, and for the
// rest with std::to_chars and a precision, which is correctly rounded too.
// The layout rules below (leading zero only where the field has room, the
// sign of a value that rounds to zero, asterisks, Inf/Infinity/NaN) are the
// runtime's.
#include "textio/textio.hpp"

#include <algorithm>
#include <bit>
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

// ---- Exact decimal scaling ----------------------------------------------

using u128 = unsigned __int128;

constexpr std::uint64_t pow10_table[20] = {1ULL,
                                           10ULL,
                                           100ULL,
                                           1000ULL,
                                           10000ULL,
                                           100000ULL,
                                           1000000ULL,
                                           10000000ULL,
                                           100000000ULL,
                                           1000000000ULL,
                                           10000000000ULL,
                                           100000000000ULL,
                                           1000000000000ULL,
                                           10000000000000ULL,
                                           100000000000000ULL,
                                           1000000000000000ULL,
                                           10000000000000000ULL,
                                           100000000000000000ULL,
                                           1000000000000000000ULL,
                                           10000000000000000000ULL};

constexpr std::uint64_t pow5(int s)
{
    std::uint64_t p = 1;
    for (int i = 0; i < s; ++i) p *= 5;
    return p;
}

// 5^27 is the largest power of five below 2^63.
constexpr int max_pow5 = 27;

struct pow5_table_t {
    std::uint64_t p[max_pow5 + 1];
    constexpr pow5_table_t() : p()
    {
        for (int s = 0; s <= max_pow5; ++s) p[s] = pow5(s);
    }
};
constexpr pow5_table_t pow5_table;

// A finite magnitude as m * 2^e2 with m < 2^53.
struct binary_value {
    std::uint64_t m;
    int e2;
};

binary_value decompose(double a)
{
    std::uint64_t bits = std::bit_cast<std::uint64_t>(a);
    int biased = static_cast<int>((bits >> 52) & 0x7FF);
    std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    if (biased == 0) return {fraction, -1074};
    return {fraction | (std::uint64_t{1} << 52), biased - 1075};
}

// round(m * 2^e2 * 10^s), ties to even, computed exactly in 128 bits; false
// when the operands leave that range.
bool round_scaled(binary_value v, int s, u128& n)
{
    if (s >= 0) {
        if (s > max_pow5) return false;
        u128 x = static_cast<u128>(v.m) * pow5_table.p[s];   // below 2^116
        int shift = v.e2 + s;
        if (shift >= 0) {
            if (shift >= 11) return false;   // keeps x << shift below 2^127
            n = x << shift;
            return true;
        }
        int r = -shift;
        if (r >= 120) {   // below a half
            n = 0;
            return true;
        }
        u128 q = x >> r;
        u128 rest = x - (q << r);
        u128 half = static_cast<u128>(1) << (r - 1);
        if (rest > half || (rest == half && (q & 1) != 0)) ++q;
        n = q;
        return true;
    }
    int t = -s;
    if (t > 19) return false;
    u128 num = v.m;
    u128 den = pow10_table[t];
    if (v.e2 >= 0) {
        if (v.e2 > 74) return false;
        num <<= v.e2;
    } else {
        if (v.e2 < -60) return false;
        den <<= -v.e2;
    }
    u128 q = num / den;
    u128 rest = num - q * den;
    if (2 * rest > den || (2 * rest == den && (q & 1) != 0)) ++q;
    n = q;
    return true;
}

constexpr char digit_pairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The decimal digits of n, written so that they end just before `end`;
// returns where they start.
char* digits_before(char* end, std::uint64_t n)
{
    while (n >= 100) {
        unsigned pair = static_cast<unsigned>(n % 100);
        n /= 100;
        end -= 2;
        std::memcpy(end, digit_pairs + 2 * pair, 2);
    }
    if (n >= 10) {
        end -= 2;
        std::memcpy(end, digit_pairs + 2 * n, 2);
    } else {
        *--end = static_cast<char>('0' + n);
    }
    return end;
}

char* digits_before(char* end, u128 n)
{
    if (n <= UINT64_MAX) return digits_before(end, static_cast<std::uint64_t>(n));
    u128 high = n / pow10_table[19];
    std::uint64_t low = static_cast<std::uint64_t>(n - high * pow10_table[19]);
    char* start = digits_before(end, low);
    while (start > end - 19) *--start = '0';
    return digits_before(start, high);
}

// ---- Layout ------------------------------------------------------------------

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
    p = std::copy(before.begin(), before.end(), p);
    *p++ = '.';
    p = std::copy(after.begin(), after.end(), p);
    std::copy(exponent.begin(), exponent.end(), p);
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

// For a finite a > 0: n = a rounded to d significant digits as an integer of
// exactly d digits, and e10 with a = 0.n x 10^e10; false outside the range of
// round_scaled.
bool scale_to_digits(double a, int d, u128& n, int& e10)
{
    binary_value v = decompose(a);
    // a lies in [2^top, 2^(top+1)); floor(top * log10(2)) estimates the
    // decimal exponent to within one, and the loop settles it.
    int top = v.e2 + 63 - std::countl_zero(v.m);
    int k = (top * 78913) >> 18;
    int s = d - 1 - k;
    const u128 low = pow10_table[d - 1];
    const u128 high = pow10_table[d];
    for (int tries = 0; tries < 4; ++tries) {
        if (!round_scaled(v, s, n)) return false;
        if (n >= high)
            --s;   // also a carry that rounded 9.99..9 up to 10.00..0
        else if (n < low)
            ++s;
        else {
            e10 = d - s;
            return true;
        }
    }
    return false;
}

void put_e_digits(std::string& out, double a, bool negative, int w, int d, char* buf, std::size_t room)
{
    // d significant digits and the exponent of the form 0.ddd x 10^e
    char* digits = buf;
    int e10 = 0;
    u128 n = 0;
    if (a != 0 && d <= 17 && scale_to_digits(a, d, n, e10)) {
        char* end = digits_before(buf + d, static_cast<std::uint64_t>(n));
        (void)end;
    } else if (a == 0) {
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
    u128 n;
    if (w <= 22 && d <= max_pow5 && round_scaled(decompose(a), d, n)) {
        // n = the value in units of the last decimal, below 10^(w+d)
        char buf[48];
        char* end = buf + sizeof buf;
        char* start = digits_before(end, n);
        std::size_t len = static_cast<std::size_t>(end - start);
        std::size_t after = static_cast<std::size_t>(d);
        if (len < after) {   // zeros right after the point
            start -= after - len;
            std::memset(start, '0', after - len);
            len = after;
        }
        std::string_view before(start, len - after);
        if (before == "0") before = {};
        lay_out(out, w, negative, before, std::string_view(end - after, after), {});
    } else if (d <= small_precision) {
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

free_line& free_line::integer64(std::int64_t v)
{
    separate(false);
    put_i(line_, v, 20);
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
