// What a basis cut at jmax really changes in kelvane's tables: the printed
// rho, rho.eng and rho.esq of planes 0, 41, 90 and 180 at jmax against those
// at jmax + 20, the largest difference relative to the largest value of each
// quantity; and the jmax that sodrel --accuracy picks.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/files.hpp"
#include "tests/support/paths.hpp"
#include "tests/support/process.hpp"
#include "tests/support/temp_folder.hpp"
#include "textio/textio.hpp"

namespace table_truncation {

using namespace test_support;

inline constexpr int planes[] = {0, 41, 90, 180};
inline constexpr int reference_step = 20;

// "temp nslice iodevn": the run's arguments before the planes.
struct run_case {
    std::string head;
    std::string tail = "27.877 14.512 9.285";   // water's ax az ay
};

// rho, rho eng and rho esq at every point of the four planes, as printed.
using table = std::vector<std::array<double, 3>>;

// An E15.8 field; an exponent beyond 99 is written without its letter.
inline double printed_value(std::string_view field)
{
    field.remove_prefix(std::min(field.find_first_not_of(' '), field.size()));
    double x = NAN;
    const auto r = std::from_chars(field.data(), field.data() + field.size(), x);
    if (r.ec == std::errc() && r.ptr == field.data() + field.size()) return x;
    const auto slow = textio::parse_list_directed_real(field);
    EXPECT_TRUE(slow.has_value()) << field;
    return slow.value_or(NAN);
}

inline table kelvane_table(const run_case& c, int jmax)
{
    temp_folder dir("truncation");
    table values;
    for (const int p : planes) {
        const std::string plane = std::to_string(p);
        const auto r = run_program(program_path("kelvane"),
                                   {.cwd = dir.path(),
                                    .args = split_words(c.head + " " + plane + " " + plane + " " + c.tail + " " +
                                                        std::to_string(jmax)),
                                    .stdout_file = dir / "report"});
        EXPECT_EQ(r.status, 0) << r.describe();
        EXPECT_EQ(r.err, "") << c.head << " jmax " << jmax;
        char name[16];
        std::snprintf(name, sizeof name, "rho.den%03d", p);
        // After the three indices (3I5), three E15.8 fields, each after a
        // blank; plane 0 starts with two header lines.
        const std::string text = read_file(dir / name);
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = std::min(text.find('\n', at), text.size());
            const std::string_view line(text.data() + at, end - at);
            at = end + 1;
            if (line.starts_with("#")) continue;
            std::array<double, 3> v{};
            for (int k = 0; k < 3; ++k) v[k] = printed_value(line.substr(16 + 16 * k, 15));
            values.push_back({v[0], v[0] * v[1], v[0] * v[2]});
        }
    }
    EXPECT_EQ(values.size(), std::size(planes) * 361u * 361u);
    return values;
}

// The largest change of each quantity from `reference` to `cut`, relative
// to the largest magnitude of that quantity in `reference`; the worst of the
// three.
inline double relative_change(const table& cut, const table& reference)
{
    double worst = 0;
    for (int q = 0; q < 3; ++q) {
        double peak = 0, change = 0;
        for (std::size_t i = 0; i < reference.size() && i < cut.size(); ++i) {
            peak = std::max(peak, std::fabs(reference[i][q]));
            change = std::max(change, std::fabs(cut[i][q] - reference[i][q]));
        }
        worst = std::max(worst, change / peak);
    }
    return worst;
}

inline double change_at(const run_case& c, int jmax)
{
    return relative_change(kelvane_table(c, jmax), kelvane_table(c, jmax + reference_step));
}

// The jmax of "accuracy TOL: jmax= J bound= B", -1 without such a line.
inline int accurate_jmax(const run_case& c, const std::string& tol)
{
    const auto r = run_program(program_path("sodrel"),
                               {.args = split_words("--accuracy " + tol + " " + c.head + " 0 0 " + c.tail + " 5")});
    EXPECT_EQ(r.status, 0) << r.describe();
    std::istringstream in(r.out);
    std::string word, colon, jmax_word;
    int jmax = -1;
    in >> word >> colon >> jmax_word >> jmax;
    EXPECT_EQ(jmax_word, "jmax=") << r.out;
    return jmax;
}

// The jmax sodrel picks for tol meets it in the tables, and the largest
// jmax more than 15 % below it does not: the answer is within 15 % of the
// smallest jmax that meets tol (the change falls as jmax grows).
inline void check_accuracy_answer(const run_case& c, const std::string& tol_text)
{
    const double tol = std::stod(tol_text);
    const int jmax = accurate_jmax(c, tol_text);
    ASSERT_GT(jmax, 0);
    EXPECT_LE(change_at(c, jmax), tol) << c.head << " jmax " << jmax;
    const int below = static_cast<int>(std::ceil(jmax / 1.15)) - 1;
    EXPECT_GT(change_at(c, below), tol) << c.head << " jmax " << below;
}

}  // namespace table_truncation
