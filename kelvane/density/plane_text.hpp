// The four text files of each theta plane (plane_files.hpp): every point of
// the plane's values formatted once, the records of the four files
// assembled row by row through the plane's map of cells to points, and the
// files written, each step shared over the run's threads.  The files are the
// same for any thread count.
#pragma once

#include <optional>
#include <string>

#include "kelvane/density/plane_files.hpp"
#include "kelvane/density/plane_output.hpp"
#include "kelvane/run/run_args.hpp"
#include "replacement/file_set.hpp"

namespace kelvane {

class plane_text_output final : public plane_output {
public:
    // Planes of up to `points` points each (the reduced region, or every
    // cell of a plane; as many as the plane's values hold), the header of
    // plane 0 made from args.
    plane_text_output(const run_args& args, int threads, int points);

    void reserve(routines::storage& s) override;
    void begin_plane(int ithe) override;   // the four files opened; the header into plane 0
    void write_plane(const completed_plane& plane) override;

private:
    std::string header_;      // the two lines that open plane 0
    int threads_;
    int points_;
    std::optional<replacement::file_set> files_;   // those of the plane in work
    std::string point_text_;  // point order, point_text_width per point
    std::string buffers_[4];
};

}  // namespace kelvane
