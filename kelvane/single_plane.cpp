#include "kelvane/single_plane.hpp"

#include "kelvane/plane_files.hpp"

namespace kelvane {

void write_plane(plane_stage& stage, const run_args& args, int ithe)
{
    plane_files files;
    open_plane_files(files, ithe);
    if (ithe == 0) write_plane_text(files, 0, plane_header(args));
    compute_plane(stage, args, ithe);
    write_plane_files(stage, files, ithe);
}

}  // namespace kelvane
