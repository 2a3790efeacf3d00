#include "average/error_report.hpp"

#include <cmath>

#include "textio/textio.hpp"

namespace average {

namespace {

constexpr std::array<const char*, error_quantities> names = {"Ekin", "Epot", "Ekin+pot", "Erot",
                                                             "Ekin+pot+rot", "CvE", "<Cv>"};
constexpr std::size_t label_width = 12;

// "a, b and c"
std::string listed(const std::vector<std::string>& items)
{
    std::string s;
    for (std::size_t k = 0; k < items.size(); ++k) {
        if (k > 0) s += k + 1 == items.size() ? " and " : ", ";
        s += items[k];
    }
    return s;
}

}  // namespace

std::vector<std::string> error_table(const error_analysis& a)
{
    std::vector<std::string> lines{
        "# quantity mean sigma/sqrt(N) error error_of_error block_size tau_int effective_samples plateau"};
    for (int q = 0; q < error_quantities; ++q) {
        const error_estimate& e = a.estimate[q];
        // Labels padded to the longest, so that the rows align for the eye too.
        std::string label = names[q];
        label.resize(label_width, ' ');
        textio::free_line line;
        line.text(label).real(e.mean).real(e.naive_error).real(e.error).real(e.error_of_error);
        line.integer64(e.block_size).real(e.tau).real(e.effective_samples).text(e.plateau ? "yes" : "no");
        lines.push_back(line.str());
    }
    return lines;
}

std::vector<std::string> blocking_table(const error_analysis& a)
{
    std::string header = "# block_size blocks";
    for (const char* name : names) header += std::string(" ") + name + " d" + name;
    std::vector<std::string> lines{header};
    for (const blocking_level& l : a.levels) {
        textio::free_line line;
        line.integer64(l.block_size).integer64(l.blocks);
        for (const level_error& e : l.quantity) line.real(e.error).real(e.error_of_error);
        lines.push_back(line.str());
    }
    return lines;
}

std::vector<std::string> error_notes(const error_analysis& a)
{
    std::vector<std::string> not_finite, too_short;
    for (int q = 0; q < error_quantities; ++q) {
        if (a.estimate[q].plateau) continue;
        (std::isfinite(a.estimate[q].mean) ? too_short : not_finite).push_back(names[q]);
    }
    std::vector<std::string> notes;
    if (a.count == 0) {
        notes.push_back("no error bars: no record was used");
        return notes;
    }
    if (!too_short.empty())
        notes.push_back("no error bar for " + listed(too_short) +
                        ": the blocking reaches no plateau, the run is too short for the correlation time "
                        "(see --blocking)");
    if (!not_finite.empty())
        notes.push_back("no error bar for " + listed(not_finite) + ": the mean is not a finite number");
    return notes;
}

}  // namespace average
