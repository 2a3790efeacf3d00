// Where the computed theta planes of a run go: the four text files of each
// plane (plane_text.hpp), one table for the whole run (kelvane/hdf5/), or,
// on the ranks of an MPI job, the rank that writes them.  The plane stage
// computes a plane and hands it on; what is written, and where, is the
// output's alone.
//
//   output.reserve(storage)          with the stage's storage, before anything is printed
//   output.open_run()                before the level stage: a file for the whole run begun
//   output.begin_plane(ithe)         before each plane is computed: its place checked
//   output.write_plane(plane)        the plane, complete
//   output.close_run(levels)         after the last plane: the run's file completed
//
// A failure is a run_failure; whatever the output had begun and not
// completed is removed when the output goes.
#pragma once

#include <cstdint>
#include <span>

#include "kelvane/density/plane_evaluator.hpp"
#include "kelvane/levels/level_stage.hpp"
#include "routines/storage.hpp"

namespace kelvane {

// Plane ithe as computed: the values of its points and, for each cell
// iphi * 361 + ichi, the point whose values stand there.  The points are the
// reduced region with the symmetry copies as the map (fill_cell_sources),
// or every cell of the plane with each cell its own point.
struct completed_plane {
    int ithe;
    const region_values& values;
    std::span<const std::int32_t> source;
};

class plane_output {
public:
    virtual ~plane_output() = default;

    // All storage the output needs for the planes of the run, taken or only
    // counted.
    virtual void reserve(routines::storage& s) = 0;
    // Once, before the level stage and any plane.
    virtual void open_run() {}
    // Before plane ithe is computed; files in the way of the plane are
    // refused here, before any work is spent on it.
    virtual void begin_plane(int ithe) = 0;
    virtual void write_plane(const completed_plane& plane) = 0;
    // Once, after the last plane, with what the level stage found.
    virtual void close_run(const level_stage_result&) {}
};

}  // namespace kelvane
