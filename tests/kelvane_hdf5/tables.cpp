#include "tests/kelvane_hdf5/tables.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kelvane/density/euler_grid.hpp"
#include "kelvane/hdf5/density_table.hpp"

namespace table_checks {

held_planes planes_of(const std::filesystem::path& table)
{
    const kelvane::table_reader t(table.string());
    return {t.first_plane(), t.plane_count()};
}

void expect_same_values(const std::filesystem::path& a, const std::filesystem::path& b)
{
    kelvane::table_reader ta(a.string()), tb(b.string());
    ASSERT_EQ(ta.first_plane(), tb.first_plane());
    ASSERT_EQ(ta.plane_count(), tb.plane_count());
    std::vector<double> va[3], vb[3];
    for (int q = 0; q < 3; ++q) {
        va[q].resize(kelvane::plane_cells);
        vb[q].resize(kelvane::plane_cells);
    }
    for (int ithe = ta.first_plane(); ithe < ta.first_plane() + ta.plane_count(); ++ithe) {
        ta.read_plane(ithe, va[0], va[1], va[2]);
        tb.read_plane(ithe, vb[0], vb[1], vb[2]);
        for (int q = 0; q < 3; ++q)
            EXPECT_EQ(std::memcmp(va[q].data(), vb[q].data(), va[q].size() * sizeof(double)), 0)
                << "plane " << ithe << ", quantity " << q << " of " << a << " and " << b;
    }
}

}  // namespace table_checks
