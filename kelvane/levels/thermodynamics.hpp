// The thermodynamic report: partition function, mean energy and heat
// capacity of each K-parity block at beta, partition function and mean
// energy at tau, and the totals at tau.  The figures at tau are returned.
#pragma once

#include "kelvane/levels/level_stage.hpp"
#include "kelvane/levels/rotlev.hpp"
#include "kelvane/run/run_args.hpp"
#include "process/process.hpp"

namespace kelvane {

thermodynamics_at_tau thermodynamic_report(const rotlev& levels, const run_args& args, time_steps steps, const process::line_sink& out);

}  // namespace kelvane
