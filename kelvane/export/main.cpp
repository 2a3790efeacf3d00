// kelvane-export: the text files of the theta planes of a density table
// written by kelvane --hdf5, byte for byte those kelvane writes directly for
// the same run
//   kelvane-export FILE [ithe1 ithe2]
//
// Every cell gets the text of its own double in the table, by the same
// formatting and the same safe writing of the four files of a plane as
// kelvane's; the header of plane 0 comes from the table's temp, nslice and
// iodevn.  The name of each plane's combined file is printed once its four
// files are in place.
#include <cstdint>
#include <cstring>
#include <span>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "kelvane/density/euler_grid.hpp"
#include "kelvane/density/plane_files.hpp"
#include "kelvane/density/plane_text.hpp"
#include "kelvane/hdf5/density_table.hpp"
#include "kelvane/run/command_line.hpp"
#include "process/process.hpp"
#include "routines/storage.hpp"
#include "textio/textio.hpp"

namespace {

using namespace kelvane;

constexpr std::string_view usage = "kelvane-export FILE [ithe1 ithe2]";

constexpr std::string_view help =
    "usage: kelvane-export FILE [ithe1 ithe2]\n"
    "The text files of the theta planes of a table written by kelvane --hdf5, into the\n"
    "working directory: rho.denNNN, rho.denNNN_rho, _eng and _esq for each plane,\n"
    "byte for byte those kelvane writes without --hdf5 for the same run.\n"
    "  FILE         the HDF5 table\n"
    "  ithe1 ithe2  only the planes ithe1 to ithe2 (degrees), which the table must hold;\n"
    "               by default every plane of the table\n"
    "Manual page: kelvane-export(1)\n";

// The values of the region points of a whole plane into region, and whether
// every cell holds, bit for bit, the values of the point the symmetry copies
// bring there.
bool gather_region(const region_values& plane, std::span<const region_point> points,
                   std::span<const std::int32_t> sources, region_values& region)
{
    const std::vector<double>* from[3] = {&plane.rho, &plane.eng, &plane.esq};
    std::vector<double>* to[3] = {&region.rho, &region.eng, &region.esq};
    for (int q = 0; q < 3; ++q) {
        for (std::size_t l = 0; l < points.size(); ++l)
            (*to[q])[l] = (*from[q])[static_cast<std::size_t>(points[l].iphi * plane_side + points[l].ichi)];
        for (std::size_t cell = 0; cell < sources.size(); ++cell)
            if (std::memcmp(&(*from[q])[cell], &(*to[q])[static_cast<std::size_t>(sources[cell])], sizeof(double)) != 0)
                return false;
    }
    return true;
}

int plane_argument(int argc, char** argv, int position, const char* name)
{
    const auto v = textio::read_int(textio::argument_window(argc, argv, position));
    if (!v)
        throw process::usage_failure(std::string(name) + " is not a whole number: '" +
                                         textio::shown(argv[position]) + "'",
                                     std::string(usage));
    return *v;
}

void export_planes(int argc, char** argv)
{
    if (argc > 1 && argv[1] && (std::string_view(argv[1]) == "-h" || std::string_view(argv[1]) == "--help")) {
        process::out(help);
        throw process::stop_run{};
    }
    if (argc != 2 && argc != 4)
        throw process::usage_failure(argc < 2 ? "the table FILE is missing" : "give both ithe1 and ithe2, or neither",
                                     std::string(usage));
    const std::string file = argv[1];
    if (file.empty()) throw process::usage_failure("the table FILE is missing", std::string(usage));
    const int threads = thread_count(std::getenv("KELVANE_THREADS"), std::thread::hardware_concurrency());

    table_reader table(file);
    const int held_first = table.first_plane(), held_last = table.first_plane() + table.plane_count() - 1;
    int first = held_first, last = held_last;
    if (argc == 4) {
        first = plane_argument(argc, argv, 2, "ithe1");
        last = plane_argument(argc, argv, 3, "ithe2");
        if (first > last || first < held_first || last > held_last)
            throw process::usage_failure("planes " + std::to_string(first) + " to " + std::to_string(last) +
                                             " are not in " + file + ", which holds planes " +
                                             std::to_string(held_first) + " to " + std::to_string(held_last),
                                         std::string(usage));
    }

    // A plane as kelvane computed it is its reduced region completed by the
    // symmetry copies: each value is then formatted once, as kelvane does.
    // A plane whose cells do not all hold their copies' doubles (a table
    // changed since) is formatted cell by cell.  Both give every cell the text
    // of its own double.
    plane_text_output text(table.args(), threads, plane_cells);
    region_values plane, region;
    std::vector<std::int32_t> own(plane_cells), sources(plane_cells);
    std::vector<region_point> points(region_points);
    routines::storage taking = routines::storage::taking();
    text.reserve(taking);
    for (auto* v : {&plane.rho, &plane.eng, &plane.esq}) taking.take(*v, plane_cells);
    for (auto* v : {&region.rho, &region.eng, &region.esq}) taking.take(*v, region_points);
    for (int cell = 0; cell < plane_cells; ++cell) own[static_cast<std::size_t>(cell)] = cell;
    fill_cell_sources(sources);
    list_region(points);

    for (int ithe = first; ithe <= last; ++ithe) {
        text.begin_plane(ithe);
        table.read_plane(ithe, plane.rho, plane.eng, plane.esq);
        if (gather_region(plane, points, sources, region))
            text.write_plane({ithe, region, sources});
        else
            text.write_plane({ithe, plane, own});
        process::out_line(plane_file_name(ithe));
    }
}

}  // namespace

int main(int argc, char** argv) { return process::run_main("kelvane-export", [&] { export_planes(argc, argv); }); }
