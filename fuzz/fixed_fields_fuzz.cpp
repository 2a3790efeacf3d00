// The fixed fields Fw.d, Ew.d and Iw on arbitrary values and field sizes.
// Every field has exactly its width.  A value that fits reads back to within
// half a unit of its last printed digit, ties going to the even digit; that
// is checked against the exact decimal expansion of the binary value, which
// glibc's printf writes in full.  Asterisks appear only where the value
// cannot be shown in the field.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <fuzzer/FuzzedDataProvider.h>

#include "textio/textio.hpp"

namespace {

void require(bool ok, const char* what, const std::string& field)
{
    if (!ok) {
        std::fprintf(stderr, "check failed: %s: \"%s\"\n", what, field.c_str());
        std::abort();
    }
}

// Decimal digit strings of the same length as unsigned numbers.
// Adds one unit in the last place; a carry out of the first digit grows the
// string by one digit.
std::string plus_one(std::string s)
{
    for (std::size_t k = s.size(); k-- > 0;) {
        if (s[k] != '9') {
            ++s[k];
            return s;
        }
        s[k] = '0';
    }
    return "1" + s;
}

// The digits `kept` rounded at their end by the digits `rest` that follow,
// half to even.
std::string round_half_even(const std::string& kept, const std::string& rest)
{
    const std::size_t first = rest.find_first_not_of('0');
    if (first == std::string::npos) return kept;   // exact
    const char lead = rest[first];
    bool up;
    if (first > 0 || lead < '5')
        up = false;
    else if (lead > '5' || rest.find_first_not_of('0', 1) != std::string::npos)
        up = true;
    else   // exactly half
        up = !kept.empty() && (kept.back() - '0') % 2 == 1;
    return up ? plus_one(kept.empty() ? std::string("0") : kept) : kept;
}

// The exact expansion of |v| in fixed notation: every double is a dyadic
// fraction with at most 1074 binary places, so 1100 decimals hold it exactly.
void exact_fixed(double a, std::string& integer, std::string& fraction)
{
    static char buf[1500];
    std::snprintf(buf, sizeof buf, "%.1100f", a);
    const char* point = std::strchr(buf, '.');
    integer.assign(buf, static_cast<std::size_t>(point - buf));
    fraction.assign(point + 1);
}

// The characters of the field without its blanks, split into sign, digits
// before the point, digits after it, and whatever follows.
struct shown {
    bool negative = false;
    std::string before, after, tail;
};

shown parse_field(const std::string& f)
{
    shown s;
    std::size_t k = f.find_first_not_of(' ');
    if (k < f.size() && f[k] == '-') s.negative = true, ++k;
    const std::size_t point = f.find('.', k);
    s.before = f.substr(k, point - k);
    std::size_t e = point + 1;
    while (e < f.size() && f[e] >= '0' && f[e] <= '9') ++e;
    s.after = f.substr(point + 1, e - point - 1);
    s.tail = f.substr(e);
    return s;
}

bool all_stars(const std::string& f) { return f.find_first_not_of('*') == std::string::npos; }

void check_f(double v, int w, int d)
{
    std::string f;
    textio::put_f(f, v, w, d);
    require(f.size() == static_cast<std::size_t>(std::max(w, 0)), "an F field has its width", f);
    if (w <= 0 || !std::isfinite(v)) return;
    const int dd = std::max(d, 0);
    const double a = std::fabs(v);
    std::string integer, fraction;
    exact_fixed(a, integer, fraction);
    // The exact value rounded to dd decimals, as one digit string.
    std::string r = round_half_even(integer + fraction.substr(0, static_cast<std::size_t>(dd)),
                                    fraction.substr(static_cast<std::size_t>(dd)));
    std::string before = r.substr(0, r.size() - static_cast<std::size_t>(dd));
    const std::string after = r.substr(r.size() - static_cast<std::size_t>(dd));
    before.erase(0, std::min(before.find_first_not_of('0'), before.size()));
    const bool negative = std::signbit(v);
    const std::size_t need = (negative ? 1 : 0) + before.size() + 1 + static_cast<std::size_t>(dd);
    const bool fits = need <= static_cast<std::size_t>(w) && w > 1 && !(w == 2 && negative);
    if (!fits) {
        require(all_stars(f), "a value that does not fit is shown as asterisks", f);
        return;
    }
    require(!all_stars(f), "a value that fits is shown", f);
    const shown s = parse_field(f);
    require(s.negative == negative, "the sign is shown", f);
    require(s.tail.empty() && s.after == after, "F decimals within half a unit, ties to even", f);
    require(s.before == before || (before.empty() && s.before == "0"), "F digits before the point", f);
    require(!(before.empty() && s.before.empty() && need < static_cast<std::size_t>(w)),
            "a zero before the point where the field has room", f);
}

void check_e(double v, int w, int d)
{
    std::string f;
    textio::put_e(f, v, w, d);
    require(f.size() == static_cast<std::size_t>(std::max(w, 0)), "an E field has its width", f);
    if (w <= 0 || !std::isfinite(v)) return;
    const bool negative = std::signbit(v);
    const std::size_t need = (negative ? 1 : 0) + 1 + static_cast<std::size_t>(d) + 4;
    if (d < 1 || need > static_cast<std::size_t>(w) || w == 1) {
        require(all_stars(f), "an E field without room is shown as asterisks", f);
        return;
    }
    // 0.ddd x 10^e from the exact expansion: its significant digits rounded
    // to d, a carry (0.999.. to 1.000..) raising the exponent.
    const double a = std::fabs(v);
    std::string digits;
    int e10 = 0;
    if (a == 0) {
        digits.assign(static_cast<std::size_t>(d), '0');
    } else {
        std::string integer, fraction;
        exact_fixed(a, integer, fraction);
        std::string all = integer + fraction;
        const std::size_t lead = all.find_first_not_of('0');
        e10 = static_cast<int>(integer.size()) - static_cast<int>(lead);
        all.erase(0, lead);
        if (all.size() < static_cast<std::size_t>(d)) all.append(static_cast<std::size_t>(d) - all.size(), '0');
        digits = round_half_even(all.substr(0, static_cast<std::size_t>(d)), all.substr(static_cast<std::size_t>(d)));
        if (digits.size() > static_cast<std::size_t>(d)) {
            digits.pop_back();
            ++e10;
        }
    }
    const int ae = std::abs(e10);
    if (ae > 999) {
        require(all_stars(f), "an exponent beyond three digits is shown as asterisks", f);
        return;
    }
    char exponent[8];
    if (ae <= 99)
        std::snprintf(exponent, sizeof exponent, "E%c%02d", e10 < 0 ? '-' : '+', ae);
    else
        std::snprintf(exponent, sizeof exponent, "%c%03d", e10 < 0 ? '-' : '+', ae);
    const shown s = parse_field(f);
    require(s.negative == negative, "the sign is shown", f);
    require(s.after == digits, "E digits within half a unit, ties to even", f);
    require(s.tail == exponent, "the exponent", f);
    require(s.before.empty() || s.before == "0", "nothing but a zero before the point", f);
    require(s.before == (need < static_cast<std::size_t>(w) ? "0" : ""), "a zero before the point where there is room",
            f);
}

void check_i(std::int64_t v, int w)
{
    std::string f;
    textio::put_i(f, v, w);
    require(f.size() == static_cast<std::size_t>(std::max(w, 0)), "an I field has its width", f);
    if (w <= 0) return;
    const std::string text = std::to_string(v);
    if (text.size() > static_cast<std::size_t>(w)) {
        require(all_stars(f), "an integer that does not fit is shown as asterisks", f);
        return;
    }
    require(f == std::string(static_cast<std::size_t>(w) - text.size(), ' ') + text, "an integer reads back", f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const int w = in.ConsumeIntegralInRange<int>(-2, 90);
    const int d = in.ConsumeIntegralInRange<int>(-2, 70);
    const std::int64_t i = in.ConsumeIntegral<std::int64_t>();
    // Values near the field's reach are the interesting ones: a mantissa
    // scaled by a power of ten as often as raw bits.
    double v;
    if (in.ConsumeBool()) {
        v = in.ConsumeFloatingPoint<double>();
    } else {
        const double m = static_cast<double>(in.ConsumeIntegral<std::int32_t>()) / 4096.0;
        v = m * std::pow(10.0, in.ConsumeIntegralInRange<int>(-30, 30));
    }
    check_f(v, w, d);
    check_e(v, w, d);
    check_i(i, w);
    check_i(static_cast<std::int64_t>(i % 100000), w);
    return 0;
}
