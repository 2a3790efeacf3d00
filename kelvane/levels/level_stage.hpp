// The level stage of a run, shared by kelvane and sodrel: the block selector
// checked, tau printed, the levels computed, the jmax line and the test that
// the basis reaches far enough; for kelvane then the thermodynamic report.
#pragma once

#include "kelvane/levels/level_loop.hpp"
#include "kelvane/levels/rotlev.hpp"
#include "kelvane/run/run_args.hpp"
#include "process/process.hpp"

namespace kelvane {

inline constexpr double kboltz = 0.6950356;   // cm-1 per K

// beta = 1 / (kboltz temp), the product first; tau = beta / nslice.  Both in
// reciprocal cm-1.
struct time_steps {
    double beta;
    double tau;
};
time_steps time_steps_of(const run_args& args);
// The same, ending the run (run_failure) when tau is not finite: a
// temperature so close to zero that beta overflows leaves no Boltzmann
// factor meaning anything.
time_steps finite_time_steps(const run_args& args);

// Partition function and mean energy (cm-1) of each K-parity block at tau,
// the figures of the report's "AT TAU" lines.
struct thermodynamics_at_tau {
    double z_even, e_even, z_odd, e_odd;
};

// What kelvane's level stage found, beside the levels it leaves.
struct level_stage_result {
    time_steps steps;
    thermodynamics_at_tau at_tau;
};

// The opening of the stage: a tau that is not finite (temp too close to
// zero) ends the run before anything is printed (run_failure); an iodevn
// that names no block selection ends it with the line "iodevn can only be
// -1 0 1" and a bare stop; otherwise the line "tau=" with tau in F10.5.
time_steps open_level_stage(const run_args& args, const process::line_sink& out);

// The element a bubble sort of the merged list (even levels, then odd) would
// leave last: the highest level of the basis.
double highest_level(const rotlev& levels);

// The cutoff test on the highest level of a basis: its Boltzmann factors
// exp(-beta emax) and exp(-tau emax) must not exceed 1e-8.
inline constexpr double cutoff_factor = 1e-8;
bool passes_cutoff(double emax, time_steps steps);

// A level that is not a finite number (constants too large for a double)
// ends the run (run_failure).
void require_finite_level(double e);

// The close of the stage: levels that are not all finite end the run; then
// the line "jmax=" and jmax, and the cutoff test: the two factors are
// printed, and the run stops with "too large contribution from emax" at the
// first that exceeds cutoff_factor.
void close_level_stage(const rotlev& levels, const run_args& args, time_steps steps, const process::line_sink& out);

// kelvane's whole stage: opening, the levels of J = 0..jmax, close, and the
// thermodynamic report.
level_stage_result level_stage(level_storage& storage, const run_args& args, const process::line_sink& out);

}  // namespace kelvane
