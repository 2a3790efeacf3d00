#include "kelvane/levels/thermodynamics.hpp"

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>

#include "textio/textio.hpp"

namespace kelvane {

namespace {

struct block_sums {
    double z = 0, s1 = 0, s2 = 0;
};

// Sums of exp(-step E), E exp(-step E) and E^2 exp(-step E) over the levels
// of both parities, each J weighted by its 2J + 1 space-fixed projections.
void boltzmann_sums(const rotlev& levels, double step, block_sums& even, block_sums& odd)
{
    for (int j = 0; j <= levels.jmax; ++j) {
        const double g = 2 * j + 1;
        for (auto [bl, total] : {std::pair{&levels.even, &even}, std::pair{&levels.odd, &odd}}) {
            double z = 0, s1 = 0, s2 = 0;
            for (std::int64_t i = bl->level_start[j]; i < bl->level_start[j + 1]; ++i) {
                const double e = bl->level[i];
                const double w = std::exp(-step * e);
                z = z + w;
                s1 = s1 + e * w;
                s2 = s2 + e * e * w;
            }
            total->z = total->z + g * z;
            total->s1 = total->s1 + g * s1;
            total->s2 = total->s2 + g * s2;
        }
    }
}

void put_text_f12(std::string& line, std::string_view text, double v)
{
    line += text;
    textio::put_f(line, v, 12, 6);
}

std::string energy_line(std::string_view label, double z, double e)
{
    std::string line(label);
    put_text_f12(line, "    Z=", z);
    put_text_f12(line, " E=", e);
    line += " CM-1";
    put_text_f12(line, " E=", e / kboltz);
    line += " K";
    return line;
}

}  // namespace

thermodynamics_at_tau thermodynamic_report(const rotlev& levels, const run_args& args, time_steps steps, const process::line_sink& out)
{
    const double beta = steps.beta, tau = steps.tau;
    // kboltz^2, the factor that turns the energy variance into a heat
    // capacity in units of kB.
    constexpr double kboltz_squared = 0.48307448526735997;

    block_sums even, odd;
    boltzmann_sums(levels, beta, even, odd);
    out.line("");
    out.line("AT BETA");
    for (auto [label, s] : {std::pair{"EVEN K:", &even}, std::pair{"ODD  K:", &odd}}) {
        const double e = s->s1 / s->z;
        const double cv = (s->s2 / s->z - e * e) / (kboltz_squared * args.temp * args.temp);
        std::string line = energy_line(label, s->z, e);
        put_text_f12(line, " Cv=", cv);
        line += " Kb";
        out.line(line);
    }

    block_sums even_tau, odd_tau;
    boltzmann_sums(levels, tau, even_tau, odd_tau);
    out.line("");
    out.line("AT TAU");
    out.line(energy_line("EVEN K:", even_tau.z, even_tau.s1 / even_tau.z));
    out.line(energy_line("ODD  K:", odd_tau.z, odd_tau.s1 / odd_tau.z));

    // The sums at tau over the whole basis; the label is the report's own,
    // no classical formula is involved.
    const double z = even_tau.z + odd_tau.z;
    const double e = (even_tau.s1 + odd_tau.s1) / z;
    std::string line = "maxj =  ";
    textio::put_i(line, args.jmax, 4);
    line += "  CLASSICAL: Z=";
    textio::put_f(line, z, 16, 6);
    put_text_f12(line, " E=", e);
    line += " CM-1";
    put_text_f12(line, " E=", e / kboltz);
    line += " K";
    out.line(line);
    return {even_tau.z, even_tau.s1 / even_tau.z, odd_tau.z, odd_tau.s1 / odd_tau.z};
}

}  // namespace kelvane
