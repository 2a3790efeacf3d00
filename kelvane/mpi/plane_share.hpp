// How the theta planes of one run are shared out over the ranks of a job,
// and the order in which their completion is announced.  Nothing here calls
// MPI, so the rules are the same for any transport.
#pragma once

#include <vector>

#include "kelvane/run/run_args.hpp"

namespace kelvane {

// The planes of one rank among `ranks`, ascending: first + rank,
// first + rank + ranks, ...  Every plane costs about the same (the same
// reduced region, the same levels), so a cyclic deal balances the work to
// within one plane per rank.
std::vector<int> planes_of_rank(const plane_range& range, int rank, int ranks);

// Completed planes, announced in plane order: a plane is announced once it
// and every plane before it are complete.
struct plane_announcer {
    int first = 0;
    std::vector<char> complete;
    int announced = 0;   // planes first .. first + announced - 1 are out
};
plane_announcer start_announcer(const plane_range& range);

// Marks ithe complete and appends to ready the planes that may now be
// announced, in order.  False, and nothing marked, for a plane outside the
// run or one already complete.
bool mark_complete(plane_announcer& a, int ithe, std::vector<int>& ready);

inline bool all_announced(const plane_announcer& a)
{
    return a.announced == static_cast<int>(a.complete.size());
}

}  // namespace kelvane
