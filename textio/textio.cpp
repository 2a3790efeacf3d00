// First, straightforward version of the text module (snprintf based).
#include "textio.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

namespace textio {

namespace {

void put_right(std::string& out, std::string_view s, int w)
{
    if (static_cast<int>(s.size()) > w) {
        out.append(static_cast<size_t>(w), '*');
        return;
    }
    out.append(static_cast<size_t>(w) - s.size(), ' ');
    out.append(s);
}

}  // namespace

void put_f(std::string& out, double v, int w, int d)
{
    if (std::isnan(v)) { put_right(out, "NaN", w); return; }
    if (std::isinf(v)) { put_right(out, v < 0 ? "-Infinity" : "Infinity", w); return; }
    char buf[512];
    std::snprintf(buf, sizeof buf, "%#.*f", d, std::fabs(v));
    std::string s = std::signbit(v) ? std::string("-") + buf : std::string(buf);
    if (static_cast<int>(s.size()) > w) {
        size_t z = std::signbit(v) ? 1 : 0;
        if (s.compare(z, 2, "0.") == 0) s.erase(z, 1);
    }
    put_right(out, s, w);
}

void put_e(std::string& out, double v, int w, int d)
{
    if (std::isnan(v)) { put_right(out, "NaN", w); return; }
    if (std::isinf(v)) { put_right(out, v < 0 ? "-Infinity" : "Infinity", w); return; }
    std::string digits;
    int exp10 = 0;
    if (v == 0) {
        digits.assign(static_cast<size_t>(d), '0');
    } else {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.*e", d - 1, std::fabs(v));
        const char* e = std::strchr(buf, 'e');
        for (const char* p = buf; p < e; ++p)
            if (*p != '.') digits.push_back(*p);
        exp10 = std::atoi(e + 1) + 1;
    }
    std::string s = std::signbit(v) ? "-0." : "0.";
    s += digits;
    char ex[16];
    int ae = exp10 < 0 ? -exp10 : exp10;
    if (ae <= 99)
        std::snprintf(ex, sizeof ex, "E%c%02d", exp10 < 0 ? '-' : '+', ae);
    else if (ae <= 999)
        std::snprintf(ex, sizeof ex, "%c%03d", exp10 < 0 ? '-' : '+', ae);
    else { put_right(out, std::string(static_cast<size_t>(w) + 1, '*'), w); return; }
    s += ex;
    if (static_cast<int>(s.size()) > w) {
        size_t z = std::signbit(v) ? 1 : 0;
        s.erase(z, 1);
    }
    put_right(out, s, w);
}

void put_i(std::string& out, std::int64_t v, int w)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v));
    put_right(out, buf, w);
}

free_line& free_line::text(std::string_view s)
{
    line_ += s;
    last_was_text_ = true;
    return *this;
}

free_line& free_line::integer(std::int32_t v)
{
    put_i(line_, v, 12);
    last_was_text_ = false;
    return *this;
}

free_line& free_line::real(double v)
{
    char buf[64];
    double a = std::fabs(v);
    if (v == 0 || (a >= 0.1 && a < 1e17)) {
        // G editing in F form: 17 significant digits, four blanks where the
        // exponent would stand.
        int intdigits = v == 0 ? 1 : static_cast<int>(std::floor(std::log10(a))) + 1;
        if (intdigits < 1) intdigits = 0;
        std::snprintf(buf, sizeof buf, "%.*f", 17 - intdigits, v);
        std::string s = buf;
        put_right(line_, s, 21);
        line_ += "     ";
    } else {
        std::snprintf(buf, sizeof buf, "%.16E", v);
        std::string s = buf;
        size_t e = s.find('E');
        int ex = std::atoi(s.c_str() + e + 1);
        char ex3[16];
        std::snprintf(ex3, sizeof ex3, "E%c%03d", ex < 0 ? '-' : '+', ex < 0 ? -ex : ex);
        s = s.substr(0, e) + ex3;
        put_right(line_, s, 26);
    }
    last_was_text_ = false;
    return *this;
}

std::string argument_window(int argc, char** argv, int position)
{
    std::string w;
    if (position < argc) w = argv[position];
    if (w.size() > 30) w.resize(30);
    w.resize(30, ' ');
    return w;
}

namespace {

std::string_view first_item(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    size_t j = i;
    while (j < text.size() && text[j] != ' ' && text[j] != '\t' && text[j] != ',' && text[j] != '/') ++j;
    return text.substr(i, j - i);
}

}  // namespace

std::optional<double> read_real(std::string_view text)
{
    std::string t(first_item(text));
    if (t.empty()) return std::nullopt;
    for (char& c : t)
        if (c == 'd' || c == 'D') c = 'e';
    char* end = nullptr;
    double v = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size()) return std::nullopt;
    return v;
}

std::optional<std::int32_t> read_int(std::string_view text)
{
    std::string t(first_item(text));
    if (t.empty()) return std::nullopt;
    size_t i = (t[0] == '+' || t[0] == '-') ? 1 : 0;
    if (i == t.size()) return std::nullopt;
    for (size_t k = i; k < t.size(); ++k)
        if (t[k] < '0' || t[k] > '9') return std::nullopt;
    errno = 0;
    long long v = std::strtoll(t.c_str(), nullptr, 10);
    if (errno != 0 || v < INT32_MIN || v > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(v);
}

void out(std::string_view s)
{
    if (std::fwrite(s.data(), 1, s.size(), stdout) != s.size())
        io_failure("cannot write to standard output");
}

void out_line(std::string_view s)
{
    out(s);
    out("\n");
}

void flush_out()
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        io_failure("cannot write to standard output");
}

namespace {
void flush_quietly() { std::fflush(stdout); }
}

[[noreturn]] void stop(std::string_view message)
{
    flush_quietly();
    std::fprintf(stderr, "STOP %.*s\n", static_cast<int>(message.size()), message.data());
    std::exit(0);
}

[[noreturn]] void stop()
{
    flush_quietly();
    std::exit(0);
}

[[noreturn]] void io_failure(std::string_view message)
{
    flush_quietly();
    std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
    std::_Exit(2);
}

[[noreturn]] void usage_error(std::string_view message, std::string_view usage)
{
    flush_quietly();
    std::fprintf(stderr, "%.*s\nusage: %.*s\n", static_cast<int>(message.size()), message.data(),
                 static_cast<int>(usage.size()), usage.data());
    std::_Exit(2);
}

}  // namespace textio
