#include "kelvane/rotcalc.hpp"

#include "kelvane/run/run.hpp"

namespace kelvane {

void rotcalc(const run_args& args, int threads, plane_progress& progress)
{
    kelvane_run run(args, threads);
    const process::line_sink out = process::line_sink::standard_output();
    run.level_stage(out);
    const plane_range& planes = run.planes();
    for (int k = 0; k < planes.count; ++k) run.write_plane(planes.first + k, progress);
    run.end_of_planes(out);
}

}  // namespace kelvane
