#include "kelvane/mpi/plane_share.hpp"

#include <algorithm>

namespace kelvane {

namespace {

constexpr int last_grid_plane = 180;

}  // namespace

plane_range planes_of_run(const run_args& args)
{
    plane_range r;
    r.first = args.ithe1;
    if (args.ithe1 > args.ithe2) return r;
    r.count = std::max(0, std::min(args.ithe2, last_grid_plane) - args.ithe1 + 1);
    if (args.ithe2 > last_grid_plane) r.weird_ithe = std::max(args.ithe1, last_grid_plane + 1);
    return r;
}

std::vector<int> planes_of_rank(const plane_range& range, int rank, int ranks)
{
    std::vector<int> planes;
    for (int k = rank; k < range.count; k += ranks) planes.push_back(range.first + k);
    return planes;
}

plane_announcer start_announcer(const plane_range& range)
{
    plane_announcer a;
    a.first = range.first;
    a.complete.assign(static_cast<std::size_t>(range.count), 0);
    return a;
}

bool mark_complete(plane_announcer& a, int ithe, std::vector<int>& ready)
{
    const int k = ithe - a.first;
    if (k < 0 || k >= static_cast<int>(a.complete.size()) || a.complete[static_cast<std::size_t>(k)]) return false;
    a.complete[static_cast<std::size_t>(k)] = 1;
    while (a.announced < static_cast<int>(a.complete.size()) && a.complete[static_cast<std::size_t>(a.announced)]) {
        ready.push_back(a.first + a.announced);
        ++a.announced;
    }
    return true;
}

}  // namespace kelvane
