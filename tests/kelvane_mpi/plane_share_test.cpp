// The planes of a run, their deal over the ranks, and the announcement of
// completed planes in plane order.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "kelvane/mpi/plane_share.hpp"

using namespace kelvane;

namespace {

run_args planes(int ithe1, int ithe2)
{
    run_args a;
    a.ithe1 = ithe1;
    a.ithe2 = ithe2;
    return a;
}

}  // namespace

TEST(PlaneRange, StopsAtTheLastPlaneOfTheGridAndNamesTheFirstIndexBeyond)
{
    const plane_range inside = planes_of_run(planes(3, 7));
    EXPECT_EQ(inside.first, 3);
    EXPECT_EQ(inside.count, 5);
    EXPECT_EQ(inside.weird_ithe, -1);

    const plane_range full = planes_of_run(planes(0, 180));
    EXPECT_EQ(full.count, 181);
    EXPECT_EQ(full.weird_ithe, -1);

    const plane_range across = planes_of_run(planes(179, 185));
    EXPECT_EQ(across.count, 2);
    EXPECT_EQ(across.weird_ithe, 181);

    const plane_range beyond = planes_of_run(planes(190, 200));
    EXPECT_EQ(beyond.count, 0);
    EXPECT_EQ(beyond.weird_ithe, 190);

    const plane_range empty = planes_of_run(planes(5, 4));
    EXPECT_EQ(empty.count, 0);
    EXPECT_EQ(empty.weird_ithe, -1);
}

TEST(PlaneDeal, EveryPlaneGoesToExactlyOneRankAndTheSharesDifferByAtMostOne)
{
    for (const auto& [ithe1, ithe2] : {std::pair{0, 180}, std::pair{0, 2}, std::pair{17, 17}, std::pair{90, 185}}) {
        const plane_range range = planes_of_run(planes(ithe1, ithe2));
        for (int ranks = 1; ranks <= 200; ranks += ranks < 8 ? 1 : 37) {
            std::vector<int> seen;
            std::size_t smallest = range.count, largest = 0;
            for (int r = 0; r < ranks; ++r) {
                const std::vector<int> mine = planes_of_rank(range, r, ranks);
                EXPECT_TRUE(std::is_sorted(mine.begin(), mine.end()));
                smallest = std::min(smallest, mine.size());
                largest = std::max(largest, mine.size());
                seen.insert(seen.end(), mine.begin(), mine.end());
            }
            std::sort(seen.begin(), seen.end());
            std::vector<int> expected(static_cast<std::size_t>(range.count));
            for (int k = 0; k < range.count; ++k) expected[static_cast<std::size_t>(k)] = range.first + k;
            EXPECT_EQ(seen, expected) << ithe1 << ".." << ithe2 << " on " << ranks << " ranks";
            EXPECT_LE(largest - smallest, 1u);
        }
    }
}

TEST(PlaneAnnouncer, AnnouncesCompletedPlanesInPlaneOrderWhateverOrderTheyComplete)
{
    plane_announcer a = start_announcer(planes_of_run(planes(10, 14)));
    std::vector<int> ready;
    EXPECT_TRUE(mark_complete(a, 12, ready));
    EXPECT_TRUE(mark_complete(a, 11, ready));
    EXPECT_TRUE(ready.empty());
    EXPECT_TRUE(mark_complete(a, 10, ready));
    EXPECT_EQ(ready, (std::vector<int>{10, 11, 12}));
    ready.clear();
    EXPECT_TRUE(mark_complete(a, 14, ready));
    EXPECT_TRUE(ready.empty());
    EXPECT_FALSE(all_announced(a));
    EXPECT_TRUE(mark_complete(a, 13, ready));
    EXPECT_EQ(ready, (std::vector<int>{13, 14}));
    EXPECT_TRUE(all_announced(a));
}

TEST(PlaneAnnouncer, RefusesAPlaneCompletedTwiceOrOutsideTheRun)
{
    plane_announcer a = start_announcer(planes_of_run(planes(0, 2)));
    std::vector<int> ready;
    EXPECT_TRUE(mark_complete(a, 1, ready));
    EXPECT_FALSE(mark_complete(a, 1, ready));
    EXPECT_FALSE(mark_complete(a, 3, ready));
    EXPECT_FALSE(mark_complete(a, -1, ready));
    EXPECT_TRUE(ready.empty());
    EXPECT_TRUE(all_announced(start_announcer(planes_of_run(planes(3, 2)))));
}
