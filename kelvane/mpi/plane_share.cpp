#include "kelvane/mpi/plane_share.hpp"

#include <algorithm>

namespace kelvane {

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
