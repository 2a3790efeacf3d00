// One kelvane run, from its arguments to its last plane: the steps kelvane
// takes in turn and kelvane-mpi shares out over its ranks.
//
//   kelvane_run run(args, threads);   all storage, and the run's file begun, before anything is printed
//   run.level_stage(out);             tau, the levels, the cutoff test, the report
//   run.write_plane(ithe, progress);  for each plane of run.planes() (or a rank's share)
//   run.end_of_planes(out);           the run's file completed; "weird ithe" when the range passes the grid
//
// The planes go to the output the arguments name: four text files each, or
// one HDF5 table for the run (--hdf5).  Stops and failures are thrown
// (process.hpp); the files of the planes written before them stay complete,
// and a table is left only when complete, with every plane of the run.
#pragma once

#include <memory>

#include "kelvane/density/plane_output.hpp"
#include "kelvane/density/plane_progress.hpp"
#include "kelvane/density/plane_stage.hpp"
#include "kelvane/levels/level_loop.hpp"
#include "kelvane/levels/level_stage.hpp"
#include "kelvane/run/run_args.hpp"
#include "process/process.hpp"

namespace kelvane {

class kelvane_run {
public:
    // Obtains the storage of the levels and of the planes the run asks for,
    // on up to `threads` threads, and opens the output: the one the arguments
    // ask for (the text files of each plane, or the HDF5 table, which a build
    // without HDF5 refuses), or the given one (a rank that hands its planes to
    // another).  A run whose storage cannot be had, or whose file cannot go
    // where it is asked to, ends here (run_failure, saying how much it needed
    // or what is in the way), before anything is printed.
    kelvane_run(const run_args& args, int threads, std::unique_ptr<plane_output> output = nullptr);

    const run_args& args() const { return args_; }
    const plane_range& planes() const { return planes_; }

    // The level stage with its report on out: the block selector checked,
    // tau, the levels, the cutoff test and the thermodynamic report; its
    // stops are thrown.  Then the levels each plane sums over.
    void level_stage(const process::line_sink& out);
    // The same levels without a word, for a process that only computes
    // planes once another has run the stage and passed its tests.
    void quiet_level_stage();

    // Plane ithe, within planes(), computed and written.
    void write_plane(int ithe, plane_progress& progress);
    // Plane ithe as another process computed it (its reduced region), written.
    void write_computed_plane(int ithe, const region_values& values);

    // After the planes: the run's output completed, then a range past the
    // grid ends the run with the line "weird ithe" and the first index beyond
    // it, and a bare stop.
    void end_of_planes(const process::line_sink& out);

private:
    void plan_planes();

    run_args args_;
    plane_range planes_;
    int threads_;
    std::unique_ptr<plane_output> output_;
    plane_stage_ptr stage_;
    level_storage levels_;
    level_stage_result found_{};
};

}  // namespace kelvane
