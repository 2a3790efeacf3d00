#include "kelvane/run/run.hpp"

#include "kelvane/levels/level_stage.hpp"
#include "textio/textio.hpp"

namespace kelvane {

kelvane_run::kelvane_run(const run_args& args, int threads)
    : args_(args), planes_(planes_of_run(args)), threads_(threads)
{
    // An iodevn that names no block selection ends the run at the opening
    // of the level stage, before any plane; no plane storage is taken for it.
    const std::optional<block_selection> blocks = block_selection::of(args.iodevn);
    if (blocks && planes_.count > 0) stage_ = reserve_plane_stage(args, *blocks, threads);
    levels_ = reserve_run_levels(0, args, stage_ != nullptr, threads);
}

void kelvane_run::plan_planes()
{
    if (stage_) plan_levels(*stage_, levels_.levels, tau_);
}

void kelvane_run::level_stage(const process::line_sink& out)
{
    tau_ = kelvane::level_stage(levels_, args_, out).tau;
    plan_planes();
}

void kelvane_run::quiet_level_stage()
{
    tau_ = time_steps_of(args_).tau;
    compute_levels(levels_, args_, process::line_sink::discarded());
    plan_planes();
}

void kelvane_run::write_plane(int ithe, plane_progress& progress) { kelvane::write_plane(*stage_, ithe, progress); }

void kelvane_run::end_of_planes(const process::line_sink& out) const
{
    if (planes_.weird_ithe < 0) return;
    out.line(textio::free_line().text("weird ithe").integer(planes_.weird_ithe).str());
    throw process::stop_run{};
}

}  // namespace kelvane
