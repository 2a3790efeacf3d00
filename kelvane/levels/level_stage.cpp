#include "kelvane/levels/level_stage.hpp"

#include <cmath>

#include "kelvane/levels/thermodynamics.hpp"
#include "routines/tql.hpp"
#include "textio/textio.hpp"

namespace kelvane {

time_steps time_steps_of(const run_args& args)
{
    const double beta = 1.0 / (kboltz * args.temp);
    return {beta, beta / static_cast<double>(args.nslice)};
}

time_steps finite_time_steps(const run_args& args)
{
    // An infinite tau would also pass the cutoff test whatever jmax.
    const time_steps steps = time_steps_of(args);
    if (!std::isfinite(steps.tau))
        throw process::run_failure("argument 1 (temp) is too small: beta = 1/(0.6950356 temp) is beyond the range "
                                  "of a double");
    return steps;
}

time_steps open_level_stage(const run_args& args, const process::line_sink& out)
{
    const time_steps steps = finite_time_steps(args);
    if (!block_selection::of(args.iodevn)) {
        out.line(textio::free_line().text("iodevn can only be -1 0 1").str());
        throw process::stop_run{};
    }
    std::string line = "tau=";
    textio::put_f(line, steps.tau, 10, 5);
    out.line(line);
    return steps;
}

double highest_level(const rotlev& levels)
{
    // The first pass of the sort carries the larger of each pair forward;
    // later passes never reach the last place.
    bool first = true;
    double carried = 0;
    for (const block_levels* half : {&levels.even, &levels.odd})
        for (const double e : half->level) {
            carried = first ? e : routines::sort_carry(carried, e);
            first = false;
        }
    return carried;
}

void close_level_stage(const rotlev& levels, const run_args& args, time_steps steps, const process::line_sink& out)
{
    // Constants beyond what a double can carry through the matrix elements
    // give infinite levels or no numbers at all: no Boltzmann factor, report
    // or table made from them means anything.
    for (const block_levels* half : {&levels.even, &levels.odd})
        for (const double e : half->level) require_finite_level(e);
    out.line(textio::free_line().text("jmax=").integer(args.jmax).str());
    const double emax = highest_level(levels);
    for (const double step : {steps.beta, steps.tau}) {
        const double x = std::exp(-step * emax);
        out.line(textio::free_line().text("emax=").real(emax).text(" exponential=").real(x).str());
        if (x > cutoff_factor) throw process::stop_run{"too large contribution from emax"};
    }
}

void require_finite_level(double e)
{
    if (!std::isfinite(e))
        throw process::run_failure("the levels are not finite numbers: the rotational constants ax, az, ay "
                                  "are too large; nothing is computed from them");
}

bool passes_cutoff(double emax, time_steps steps)
{
    for (const double step : {steps.beta, steps.tau})
        if (std::exp(-step * emax) > cutoff_factor) return false;
    return true;
}

level_stage_result level_stage(level_storage& storage, const run_args& args, const process::line_sink& out)
{
    const time_steps steps = open_level_stage(args, out);
    compute_levels(storage, args, out);
    close_level_stage(storage.levels, args, steps, out);
    return {steps, thermodynamic_report(storage.levels, args, steps, out)};
}

}  // namespace kelvane
