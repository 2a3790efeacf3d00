#include "kelvane/rotcalc.hpp"

#include "kelvane/density/plane_stage.hpp"
#include "kelvane/levels/level_stage.hpp"
#include "process/process.hpp"

namespace kelvane {

void rotcalc(const run_args& args, int threads, plane_progress& progress)
{
    // All storage is obtained before anything is printed.
    plane_stage_ptr stage = reserve_plane_stage(args, threads);
    level_storage storage = reserve_run_levels(0, args, stage != nullptr, threads);
    const time_steps steps = level_stage(storage, args, process::line_sink::standard_output());
    if (stage) run_planes(*stage, args, storage.levels, steps.tau, progress);
}

}  // namespace kelvane
