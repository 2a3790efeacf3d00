#include "kelvane/density/plane_text.hpp"

#include <algorithm>
#include <cstring>

#include "kelvane/density/euler_grid.hpp"
#include "routines/parallel.hpp"
#include "textio/textio.hpp"

namespace kelvane {

namespace {

// Work items: points formatted in runs of this many, records in runs of
// this many rows.
constexpr int formatting_points_per_item = 1024;
constexpr int rows_per_item = 19;

// The three values of the points first .. first + count - 1 as they are
// printed, each point's once.
void format_points(const region_values& values, std::string& point_text, int first, int count)
{
    std::string field;
    for (int l = first; l < first + count; ++l) {
        char* text = &point_text[static_cast<std::size_t>(l) * point_text_width];
        const auto at = static_cast<std::size_t>(l);
        const double v3[3] = {values.rho[at], values.eng[at], values.esq[at]};
        for (int v = 0; v < 3; ++v) {
            field.clear();
            textio::put_e(field, v3[v], value_text_width, 8);
            std::memcpy(text + v * value_text_width, field.data(), value_text_width);
        }
    }
}

}  // namespace

plane_text_output::plane_text_output(const run_args& args, int threads, int points)
    : header_(plane_header(args)), threads_(threads), points_(points)
{
}

void plane_text_output::reserve(routines::storage& s)
{
    const std::size_t text = static_cast<std::size_t>(points_) * point_text_width;
    s.room(point_text_, text);
    if (s.takes()) point_text_.resize(text);
    s.room(buffers_[0], plane_cells * combined_record_width);
    for (int k = 1; k < 4; ++k) s.room(buffers_[k], plane_cells * single_record_width);
}

void plane_text_output::begin_plane(int ithe)
{
    files_.emplace(plane_file_names(ithe));
    if (ithe == 0) files_->write(0, header_);
}

void plane_text_output::write_plane(const completed_plane& plane)
{
    // The text of each point once, then the records by rows and the four
    // files, each step over the workers: the copying of a plane's 15 MB into
    // the files is kernel work that two threads share as well as the
    // formatting.
    const int points = static_cast<int>(std::min(plane.values.rho.size(), static_cast<std::size_t>(points_)));
    routines::for_each_item(threads_, (points + formatting_points_per_item - 1) / formatting_points_per_item,
                            [&](int, int item) {
                                const int first = item * formatting_points_per_item;
                                format_points(plane.values, point_text_, first,
                                              std::min(formatting_points_per_item, points - first));
                            });
    size_plane_records(buffers_);
    routines::for_each_item(threads_, (plane_side + rows_per_item - 1) / rows_per_item, [&](int, int item) {
        const int first = item * rows_per_item;
        format_plane_rows(plane.ithe, first, std::min(first + rows_per_item, plane_side) - 1, plane.source,
                          point_text_, buffers_);
    });
    routines::for_each_item(threads_, 4, [&](int, int k) { files_->write(static_cast<std::size_t>(k), buffers_[k]); });
    files_->place();
    files_.reset();
}

}  // namespace kelvane
