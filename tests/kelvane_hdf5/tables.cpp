#include "tests/kelvane_hdf5/tables.hpp"

#include <gtest/gtest.h>

#include <cstring>
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
    ASSERT_EQ(ta.plane_count(), tb.plane_count());
    ASSERT_EQ(ta.first_plane(), tb.first_plane());
    std::vector<double> v[6];
    for (auto& plane : v) plane.resize(kelvane::plane_cells);
    for (int ithe = ta.first_plane(); ithe < ta.first_plane() + ta.plane_count(); ++ithe) {
        ta.read_plane(ithe, v[0], v[1], v[2]);
        tb.read_plane(ithe, v[3], v[4], v[5]);
        for (int q = 0; q < 3; ++q)
            EXPECT_EQ(std::memcmp(v[q].data(), v[q + 3].data(), v[q].size() * sizeof(double)), 0)
                << "plane " << ithe << ", quantity " << q << " of " << a << " and " << b;
    }
}

}  // namespace table_checks
