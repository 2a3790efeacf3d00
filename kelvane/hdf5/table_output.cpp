#include "kelvane/hdf5/table_output.hpp"

#include "kelvane/density/euler_grid.hpp"

namespace kelvane {

table_output::table_output(const run_args& args, const plane_range& planes) : args_(args), planes_(planes) {}

void table_output::reserve(routines::storage& s)
{
    for (auto& p : planes_of_values_) s.take(p, plane_cells);
}

void table_output::open_run()
{
    file_.emplace(std::vector<std::string>{args_.hdf5_file});
    const std::string& temporary = file_->hand_over(0);
    writer_.emplace(temporary, args_, planes_.first, planes_.count);
}

void table_output::write_plane(const completed_plane& plane)
{
    const std::vector<double>* from[3] = {&plane.values.rho, &plane.values.eng, &plane.values.esq};
    for (int q = 0; q < 3; ++q) {
        const std::vector<double>& values = *from[q];
        std::vector<double>& to = planes_of_values_[q];
        for (std::size_t cell = 0; cell < to.size(); ++cell) to[cell] = values[static_cast<std::size_t>(plane.source[cell])];
    }
    writer_->write_plane(plane.ithe, planes_of_values_[0], planes_of_values_[1], planes_of_values_[2]);
}

void table_output::close_run(const level_stage_result& found)
{
    writer_->close(found);
    writer_.reset();
    file_->place();
}

}  // namespace kelvane
