// What a basis cut at jmax really changes in kelvane's tables: the printed
// rho, rho.eng and rho.esq of planes 0, 41, 90 and 180 at jmax against those
// at jmax + 20, the largest change relative to each quantity's largest value.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <charconv>
#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/files.hpp"
#include "tests/support/paths.hpp"
#include "tests/support/process.hpp"
#include "tests/support/temp_folder.hpp"
#include "textio/textio.hpp"

namespace table_truncation {

using namespace test_support;

// head: "temp nslice iodevn"; water's constants.
inline std::vector<std::array<double, 3>> kelvane_table(const std::string& head, int jmax)
{
    temp_folder dir("truncation");
    std::vector<std::array<double, 3>> values;
    for (const int p : {0, 41, 90, 180}) {
        const std::string args = head + " " + std::to_string(p) + " " + std::to_string(p) + " 27.877 14.512 9.285 ";
        const auto r = run_program(program_path("kelvane"), {.cwd = dir.path(), .args = split_words(args + std::to_string(jmax)),
                                                             .stdout_file = dir / "report"});
        EXPECT_TRUE(r.status == 0 && r.err.empty()) << r.describe();
        char name[16];
        std::snprintf(name, sizeof name, "rho.den%03d", p);
        // 3I5, then three E15.8 after a blank each; two header lines in plane 0.
        for (const std::string& line : lines_of(read_file(dir / name))) {
            if (line.starts_with("#")) continue;
            double v[3];
            for (int k = 0; k < 3; ++k) {
                const char *field = line.data() + 16 + 16 * k, *end = field + 15;
                while (*field == ' ') ++field;
                const auto [stop, ec] = std::from_chars(field, end, v[k]);
                if (ec != std::errc() || stop != end)   // an exponent beyond 99 has no letter
                    v[k] = textio::parse_list_directed_real({field, end}).value_or(NAN);
            }
            values.push_back({v[0], v[0] * v[1], v[0] * v[2]});
        }
    }
    EXPECT_EQ(values.size(), 4 * 361u * 361u);
    return values;
}

inline double change_at(const std::string& head, int jmax)
{
    const auto cut = kelvane_table(head, jmax), full = kelvane_table(head, jmax + 20);
    double worst = 0;
    for (int q = 0; q < 3; ++q) {
        double peak = 0, change = 0;
        for (std::size_t i = 0; i < full.size() && i < cut.size(); ++i) {
            peak = std::max(peak, std::fabs(full[i][q]));
            change = std::max(change, std::fabs(cut[i][q] - full[i][q]));
        }
        worst = std::max(worst, change / peak);
    }
    return worst;
}

// sodrel --accuracy tol prints one line, whose jmax (with a bound of at most
// tol) meets tol in the tables, and the largest
// jmax more than 15 % below it does not: since the change falls as jmax
// grows, the answer is within 15 % of the smallest jmax that meets tol.
inline void check_accuracy_answer(const std::string& head, const std::string& tol)
{
    const auto r = run_program(program_path("sodrel"),
                               {.args = split_words("--accuracy " + tol + " " + head + " 0 0 27.877 14.512 9.285 5")});
    std::smatch m;
    ASSERT_TRUE(std::regex_match(r.out, m, std::regex("accuracy " + tol + R"(: jmax= (\d+) bound= (\d\.\de-\d\d)\n)")))
        << r.describe();
    EXPECT_LE(std::stod(m[2]), std::stod(tol));
    const int jmax = std::stoi(m[1]);   // kelvane's cutoff test passes there
    EXPECT_LE(change_at(head, jmax), std::stod(tol)) << head << " jmax " << jmax;
    const int below = static_cast<int>(std::ceil(jmax / 1.15)) - 1;
    EXPECT_GT(change_at(head, below), std::stod(tol)) << head << " jmax " << below;
}

}  // namespace table_truncation
