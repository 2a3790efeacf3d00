// The amount of storage a kelvane run reports when it cannot obtain it is the
// amount it asks for: the level set, its vectors and the solvers' scratch;
// the Wigner tables of a plane and what filling them takes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "kelvane/levels/level_loop.hpp"
#include "routines/wigner/plane_tables.hpp"

// Every allocation of this program goes through here, so that a test can
// count the bytes a step keeps: each block carries its size in front.
namespace {
std::size_t kept_bytes = 0;
bool counting = false;
constexpr std::size_t header = 16;   // keeps the alignment of malloc

void release(void* p)
{
    if (!p) return;
    char* block = static_cast<char*>(p) - header;
    if (counting) kept_bytes -= *reinterpret_cast<std::size_t*>(block);
    std::free(block);
}
}  // namespace

void* operator new(std::size_t n)
{
    void* p = std::malloc(n + header);
    if (!p) throw std::bad_alloc();
    *static_cast<std::size_t*>(p) = n;
    if (counting) kept_bytes += n;
    return static_cast<char*>(p) + header;
}
void operator delete(void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }

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

TEST(StorageSize, TheWignerPlaneReportsWhatReservingItTakes)
{
    // The trusted values with the factors of the series kept (jmax 0, 17,
    // 40), past their cap (jmax 90) and past the jmax they are ever kept for
    // (101); the three-term values, which keep none.
    for (const routines::wigner_method method : {routines::wigner_method::trusted, routines::wigner_method::three_term})
        for (int jmax : {0, 17, 40, 90, 101}) {
            routines::wigner_plane w;
            kept_bytes = 0;
            counting = true;
            routines::reserve_wigner_plane(w, jmax, method);
            counting = false;
            EXPECT_EQ(routines::wigner_plane_bytes(jmax, method), kept_bytes)
                << "jmax " << jmax << " method " << static_cast<int>(method);
        }
}

}  // namespace
