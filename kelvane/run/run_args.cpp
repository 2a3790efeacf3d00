#include "kelvane/run/run_args.hpp"

#include <algorithm>

namespace kelvane {

plane_range planes_of_run(const run_args& args)
{
    plane_range r;
    r.first = args.ithe1;
    if (args.ithe1 > args.ithe2) return r;
    r.count = std::max(0, std::min(args.ithe2, last_plane) - args.ithe1 + 1);
    if (args.ithe2 > last_plane) r.weird_ithe = std::max(args.ithe1, last_plane + 1);
    return r;
}

}  // namespace kelvane
