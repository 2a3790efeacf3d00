// The free-form number reader against independent oracles: the grammar of a
// number token as a finite automaton, glibc's strtod (correctly rounded)
// for the value of a real, strtoll for an integer, a regular expression for
// the runtime's words Inf, Infinity and NaN(...), and the 30-column argument
// window built by hand.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "textio/textio.hpp"

namespace {

void require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The notation of a number as a finite automaton over character classes:
//   real:    [+-] (digits [. [digits]] | . digits) [(E|e|D|d) [+-] digits]
//   integer: [+-] digits
// Written as a table rather than as a parser, so that it fails differently
// from the code under test.
// The runtime's forms of a record add the letter Q and an exponent without
// its letter: a sign straight after the mantissa.
enum char_class { c_digit, c_sign, c_point, c_letter, c_q, c_other, n_classes };

char_class classify(char c)
{
    if (c >= '0' && c <= '9') return c_digit;
    if (c == '+' || c == '-') return c_sign;
    if (c == '.') return c_point;
    if (c == 'e' || c == 'E' || c == 'd' || c == 'D') return c_letter;
    if (c == 'q' || c == 'Q') return c_q;
    return c_other;
}

// States: 0 start, 1 after the sign, 2 in the integer digits (accepting),
// 3 point without digits before, 4 in the decimals (accepting), 5 after the
// exponent letter, 6 after the exponent sign, 7 in the exponent digits
// (accepting); -1 rejects.
constexpr int real_next[8][n_classes] = {
    // digit sign point letter q other
    {2, 1, 3, -1, -1, -1},     // 0
    {2, -1, 3, -1, -1, -1},    // 1
    {2, -1, 4, 5, -1, -1},     // 2
    {4, -1, -1, -1, -1, -1},   // 3
    {4, -1, -1, 5, -1, -1},    // 4
    {7, 6, -1, -1, -1, -1},    // 5
    {7, -1, -1, -1, -1, -1},   // 6
    {7, -1, -1, -1, -1, -1},   // 7
};
constexpr int runtime_next[8][n_classes] = {
    // digit sign point letter q other
    {2, 1, 3, -1, -1, -1},     // 0
    {2, -1, 3, -1, -1, -1},    // 1
    {2, 6, 4, 5, 5, -1},       // 2
    {4, -1, -1, -1, -1, -1},   // 3
    {4, 6, -1, 5, 5, -1},      // 4
    {7, 6, -1, -1, -1, -1},    // 5
    {7, -1, -1, -1, -1, -1},   // 6
    {7, -1, -1, -1, -1, -1},   // 7
};
constexpr bool real_accepts[8] = {false, false, true, false, true, false, false, true};

bool accepts(const int (&next)[8][n_classes], std::string_view t)
{
    int state = 0;
    for (char c : t)
        if ((state = next[state][classify(c)]) < 0) return false;
    return real_accepts[state];
}

bool is_real_token(std::string_view t) { return accepts(real_next, t); }

bool is_int_token(std::string_view t)
{
    std::size_t k = !t.empty() && classify(t[0]) == c_sign ? 1 : 0;
    if (k == t.size()) return false;
    for (; k < t.size(); ++k)
        if (classify(t[k]) != c_digit) return false;
    return true;
}

// strtod and strtoll see a copy of the token: the longest one compared.
constexpr std::size_t oracle_limit = 4096;

// What a correct reader gives for a token, or nothing for a token it must
// refuse: a well-formed number whose value lies within the double range.
std::optional<double> expected_real(std::string_view token)
{
    if (!is_real_token(token)) return std::nullopt;
    std::string e(token);
    for (char& c : e)
        if (c == 'd' || c == 'D') c = 'e';
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(e.c_str(), &end);
    require(end == e.c_str() + e.size(), "strtod takes a whole well-formed token");
    if (!std::isfinite(v)) return std::nullopt;
    return v;
}

constexpr std::size_t runtime_oracle_limit = 512;

// The runtime's words, any case, after an optional sign.
const std::regex runtime_word(R"([+-]?(inf|infinity|nan(\([^) \t\r\n,/;]*\))?))",
                              std::regex::icase | std::regex::ECMAScript | std::regex::optimize);

// What a correct reader of records gives, as bits: an infinity or NaN of the
// sign written (the quiet NaN without payload), or the strtod value of the
// number written with E, whatever its range.
std::optional<std::uint64_t> expected_runtime_bits(std::string_view token)
{
    const std::uint64_t sign = !token.empty() && token[0] == '-' ? 0x8000000000000000u : 0;
    if (std::regex_match(token.begin(), token.end(), runtime_word)) {
        const std::size_t word = token[0] == '+' || token[0] == '-' ? 1 : 0;
        const bool is_nan = token[word] == 'n' || token[word] == 'N';
        return sign | (is_nan ? 0x7FF8000000000000u : 0x7FF0000000000000u);
    }
    if (!accepts(runtime_next, token)) return std::nullopt;
    std::string e;
    for (std::size_t k = 0; k < token.size(); ++k) {
        const char c = token[k];
        if (classify(c) == c_letter || classify(c) == c_q) {
            e += 'e';
        } else {
            // a sign after a digit or point opens an exponent without letter
            if (classify(c) == c_sign && k > 0 && classify(token[k - 1]) != c_letter &&
                classify(token[k - 1]) != c_q)
                e += 'e';
            e += c;
        }
    }
    char* end = nullptr;
    const double v = std::strtod(e.c_str(), &end);
    require(end == e.c_str() + e.size(), "strtod takes a whole runtime number");
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

std::optional<std::int64_t> expected_int(std::string_view token)
{
    if (!is_int_token(token)) return std::nullopt;
    const std::string s(token);
    errno = 0;
    const long long v = std::strtoll(s.c_str(), nullptr, 10);
    if (errno == ERANGE) return std::nullopt;
    return v;
}

void check_token(std::string_view token)
{
    const std::optional<double> r = textio::parse_real(token);
    if (token.size() <= oracle_limit) {
        const std::optional<double> want = expected_real(token);
        require(r.has_value() == want.has_value(), "parse_real accepts exactly the well-formed tokens in range");
        if (r) require(same_bits(*r, *want), "parse_real rounds as strtod does");
    }
    if (r) require(std::isfinite(*r), "parse_real gives a finite value");

    const std::optional<double> wide = textio::parse_list_directed_real(token);
    if (r) require(wide && same_bits(*wide, *r), "a record reads every argument form alike");
    // libstdc++'s regex recurses once per character: shorter tokens only.
    if (token.size() <= runtime_oracle_limit) {
        const std::optional<std::uint64_t> want = expected_runtime_bits(token);
        require(wide.has_value() == want.has_value(),
                "parse_list_directed_real accepts exactly the runtime's forms of a real");
        if (wide) {
            std::uint64_t bits;
            std::memcpy(&bits, &*wide, sizeof bits);
            require(bits == *want, "parse_list_directed_real gives the runtime's value, correctly rounded");
        }
    }

    const std::optional<std::int64_t> i = textio::parse_int(token);
    if (token.size() <= oracle_limit) {
        const std::optional<std::int64_t> want = expected_int(token);
        require(i.has_value() == want.has_value(), "parse_int accepts exactly the signed digit strings in range");
        if (i) require(*i == *want, "parse_int gives the value of its digits");
    }
    // Every integer token is a real token too, with the same value.
    if (i && std::llabs(*i) < (1LL << 53)) require(r && *r == static_cast<double>(*i), "an integer reads as a real");
}

// The value of a free-form text: blanks (blank, tab, carriage return, line
// feed) skipped, then up to a blank, comma, slash or the end.
std::string_view first_value(std::string_view text)
{
    const std::size_t b = text.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos) return {};
    const std::size_t e = text.find_first_of(" \t\r\n,/", b);
    return text.substr(b, e == std::string_view::npos ? std::string_view::npos : e - b);
}

void check_text(std::string_view text)
{
    const std::string_view value = first_value(text);
    const std::optional<double> r = textio::read_real(text);
    const std::optional<double> want_r = value.empty() ? std::nullopt : textio::parse_real(value);
    require(r.has_value() == want_r.has_value() && (!r || same_bits(*r, *want_r)),
            "read_real reads the first value of the text");

    const std::optional<std::int32_t> i = textio::read_int(text);
    std::optional<std::int64_t> want_i = value.empty() ? std::nullopt : textio::parse_int(value);
    if (want_i && (*want_i < std::numeric_limits<std::int32_t>::min() ||
                   *want_i > std::numeric_limits<std::int32_t>::max()))
        want_i.reset();
    require(i.has_value() == want_i.has_value() && (!i || *i == *want_i),
            "read_int reads the first value of the text within 32 bits");
}

// The bytes as a command line, split at NUL bytes: every window is 30
// columns, the argument cut or padded with blanks, blanks where there is none.
void check_windows(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> args{"prog"};
    std::string cur;
    for (std::size_t k = 0; k < size && args.size() < 16; ++k) {
        if (data[k] == 0) {
            args.push_back(cur);
            cur.clear();
        } else {
            cur += static_cast<char>(data[k]);
        }
    }
    args.push_back(cur);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(args.size());
    for (int p = -1; p <= argc + 1; ++p) {
        const std::string w = textio::argument_window(argc, argv.data(), p);
        require(w.size() == 30, "a window has 30 columns");
        std::string want = p >= 0 && p < argc ? args[static_cast<std::size_t>(p)] : std::string();
        want.resize(30, ' ');
        require(w == want, "a window is the argument cut or padded to 30 columns");
        check_text(w);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    check_token(text);
    check_text(text);
    // Each piece between separators, as the reader of a record meets them.
    constexpr std::string_view separators(" \t,/\n\0", 6);
    std::size_t start = 0;
    int pieces = 0;
    for (std::size_t k = 0; k <= size && pieces < 32; ++k) {
        if (k == size || separators.find(text[k]) != std::string_view::npos) {
            if (k > start) check_token(text.substr(start, k - start)), ++pieces;
            start = k + 1;
        }
    }
    check_windows(data, size);
    return 0;
}
