// The planes of a run into one HDF5 density table (density_table.hpp),
// written under a temporary name and put in place as FILE once the last plane
// and the report's attributes are in and the file is closed, as a set of one
// file (replacement/file_set.hpp): FILE is a complete table or, where a run
// fails or stops before its planes, left as it was.
// Each plane is completed from its reduced region through the symmetry
// copies before it is written, so the table holds every cell of the grid.
#pragma once

#include <optional>
#include <vector>

#include "kelvane/density/plane_output.hpp"
#include "kelvane/hdf5/density_table.hpp"
#include "kelvane/run/run_args.hpp"
#include "replacement/file_set.hpp"

namespace kelvane {

class table_output final : public plane_output {
public:
    // The table args.hdf5_file of the run's planes.
    table_output(const run_args& args, const plane_range& planes);

    void reserve(routines::storage& s) override;
    // The place of the table checked and its temporary file begun: something
    // in the way ends the run before its level stage.
    void open_run() override;
    void begin_plane(int) override {}
    void write_plane(const completed_plane& plane) override;
    void close_run(const level_stage_result& found) override;

private:
    run_args args_;
    plane_range planes_;
    std::optional<replacement::file_set> file_;
    std::optional<table_writer> writer_;   // closed before file_ goes
    std::vector<double> planes_of_values_[3];   // rho, eng, esq of the plane in work, every cell
};

}  // namespace kelvane
