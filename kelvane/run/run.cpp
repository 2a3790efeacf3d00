#include "kelvane/run/run.hpp"

#include "kelvane/density/euler_grid.hpp"
#include "kelvane/density/plane_text.hpp"
#include "kelvane/levels/level_stage.hpp"
#include "textio/textio.hpp"

#if KELVANE_HAS_HDF5
#include "kelvane/hdf5/table_output.hpp"
#endif

namespace kelvane {

namespace {

std::unique_ptr<plane_output> output_of_run(const run_args& args, [[maybe_unused]] const plane_range& planes, int threads)
{
    if (args.hdf5_file.empty()) return std::make_unique<plane_text_output>(args, threads, region_points);
#if KELVANE_HAS_HDF5
    return std::make_unique<table_output>(args, planes);
#else
    throw process::run_failure("cannot write " + args.hdf5_file +
                               ": this kelvane was built without the HDF5 library (--hdf5)");
#endif
}

}  // namespace

kelvane_run::kelvane_run(const run_args& args, int threads, std::unique_ptr<plane_output> output)
    : args_(args), planes_(planes_of_run(args)), threads_(threads)
{
    // An iodevn that names no block selection ends the run at the opening
    // of the level stage, before any plane; no plane storage is taken for it,
    // and no file begun.
    const std::optional<block_selection> blocks = block_selection::of(args.iodevn);
    if (blocks && planes_.count > 0) {
        output_ = output ? std::move(output) : output_of_run(args, planes_, threads);
        stage_ = reserve_plane_stage(args, *blocks, threads, *output_);
    }
    levels_ = reserve_run_levels(0, args, stage_ != nullptr, threads);
    if (output_) output_->open_run();
}

void kelvane_run::plan_planes()
{
    if (stage_) plan_levels(*stage_, levels_.levels, found_.steps.tau);
}

void kelvane_run::level_stage(const process::line_sink& out)
{
    found_ = kelvane::level_stage(levels_, args_, out);
    plan_planes();
}

void kelvane_run::quiet_level_stage()
{
    found_.steps = time_steps_of(args_);
    compute_levels(levels_, args_, process::line_sink::discarded());
    plan_planes();
}

void kelvane_run::write_plane(int ithe, plane_progress& progress)
{
    kelvane::write_plane(*stage_, ithe, progress, *output_);
}

void kelvane_run::write_computed_plane(int ithe, const region_values& values)
{
    kelvane::write_computed_plane(*stage_, ithe, values, *output_);
}

void kelvane_run::end_of_planes(const process::line_sink& out)
{
    if (output_) output_->close_run(found_);
    if (planes_.weird_ithe < 0) return;
    out.line(textio::free_line().text("weird ithe").integer(planes_.weird_ithe).str());
    throw process::stop_run{};
}

}  // namespace kelvane
