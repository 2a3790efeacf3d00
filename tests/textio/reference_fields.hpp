// Straightforward fixed fields built on snprintf, kept beside the fast ones
// in textio/ to check them on many values.  glibc's printf rounds the exact
// binary value with ties to even, like the Fortran runtime.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace reference {

inline std::string stars(int w) { return std::string(static_cast<std::size_t>(w), '*'); }

inline std::string right(int w, const std::string& s)
{
    return std::string(static_cast<std::size_t>(w) - s.size(), ' ') + s;
}

inline std::string not_finite(double v, int w)
{
    if (w < 3) return stars(w);
    if (std::isnan(v)) return right(w, "NaN");
    if (std::signbit(v)) return w == 3 ? stars(w) : right(w, w > 8 ? "-Infinity" : "-Inf");
    return right(w, w > 7 ? "Infinity" : "Inf");
}

// sign, digits before the point (none when they are a lone zero), digits
// after, exponent text
inline std::string layout(int w, bool negative, std::string before, const std::string& after,
                          const std::string& exponent)
{
    int blanks = w - static_cast<int>(before.size() + after.size() + 1 + exponent.size()) - (negative ? 1 : 0);
    if (blanks < 0 || w == 1 || (w == 2 && negative)) return stars(w);
    if (before.empty() && blanks > 0) {
        before = "0";
        --blanks;
    }
    return std::string(static_cast<std::size_t>(blanks), ' ') + (negative ? "-" : "") + before + "." + after +
           exponent;
}

inline std::string f(double v, int w, int d)
{
    if (!std::isfinite(v)) return not_finite(v, w);
    std::vector<char> buf(static_cast<std::size_t>(d) + 400);
    std::snprintf(buf.data(), buf.size(), "%.*f", d, std::fabs(v));
    std::string s = buf.data();
    std::string before = d > 0 ? s.substr(0, s.find('.')) : s;
    std::string after = d > 0 ? s.substr(s.find('.') + 1) : "";
    if (before == "0") before.clear();
    return layout(w, std::signbit(v), before, after, "");
}

inline std::string e(double v, int w, int d)
{
    if (!std::isfinite(v)) return not_finite(v, w);
    if (d < 1) return stars(w);
    std::string digits(static_cast<std::size_t>(d), '0');
    int e10 = 0;
    if (v != 0) {
        std::vector<char> buf(static_cast<std::size_t>(d) + 40);
        std::snprintf(buf.data(), buf.size(), "%.*e", d - 1, std::fabs(v));
        std::string s = buf.data();
        std::size_t at = s.find('e');
        digits = s.substr(0, 1) + (d > 1 ? s.substr(2, at - 2) : "");
        e10 = std::atoi(s.c_str() + at + 1) + 1;
    }
    char ex[16];
    int ae = std::abs(e10);
    if (ae <= 99)
        std::snprintf(ex, sizeof ex, "E%c%02d", e10 < 0 ? '-' : '+', ae);
    else if (ae <= 999)
        std::snprintf(ex, sizeof ex, "%c%03d", e10 < 0 ? '-' : '+', ae);
    else
        return stars(w);
    return layout(w, std::signbit(v), "", digits, ex);
}

inline std::string i(long long v, int w)
{
    std::string s = std::to_string(v);
    return static_cast<int>(s.size()) > w ? stars(w) : right(w, s);
}

}  // namespace reference
