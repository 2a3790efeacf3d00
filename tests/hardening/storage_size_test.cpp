// The amount of storage a kelvane run reports when it cannot obtain it is the
// amount it asks for: the level set, its vectors and the solvers' scratch.
#include <gtest/gtest.h>

#include "kelvane/levels/level_loop.hpp"

namespace {

std::size_t held_bytes(const kelvane::level_storage& s)
{
    std::size_t values = 0;
    std::size_t starts = 0;
    for (const auto* half : {&s.levels.even, &s.levels.odd}) {
        values += half->level.size() + half->vec.size();
        starts += half->level_start.size() + half->vec_start.size();
    }
    values += s.printed.a.size() + s.printed.d.size() + s.printed.e.size();
    for (const auto& group : s.per_thread)
        for (const auto& w : group) values += w.a.size() + w.d.size() + w.e.size();
    return values * sizeof(double) + starts * sizeof(std::int64_t);
}

TEST(StorageSize, TheLevelSetReportsWhatItHolds)
{
    for (int jmax : {3, 4, 17, 64, 101})
        for (bool vectors : {false, true})
            for (int threads : {1, 2}) {
                const kelvane::level_storage s = kelvane::reserve_levels(0, jmax, vectors, threads);
                EXPECT_EQ(kelvane::level_storage_bytes(0, jmax, vectors, threads), held_bytes(s))
                    << "jmax " << jmax << (vectors ? " with" : " without") << " vectors, " << threads << " threads";
            }
}

}  // namespace
