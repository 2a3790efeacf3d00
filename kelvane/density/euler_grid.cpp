#include "kelvane/density/euler_grid.hpp"

namespace kelvane {

int region_last_chi(int iphi)
{
    if (iphi <= 90) return iphi;
    if (iphi <= 180) return 180 - iphi;
    if (iphi <= 270) return iphi - 180;
    return 360 - iphi;
}

void list_region(std::span<region_point> points)
{
    std::size_t at = 0;
    for (int p = 0; p < plane_side; ++p)
        for (int c = 0; c <= region_last_chi(p); ++c)
            points[at++] = {static_cast<std::int16_t>(p), static_cast<std::int16_t>(c)};
}

void fill_cell_sources(std::span<std::int32_t> source)
{
    for (auto& s : source) s = -1;
    std::int32_t ordinal = 0;
    for (int p = 0; p < plane_side; ++p)
        for (int c = 0; c <= region_last_chi(p); ++c) source[p * plane_side + c] = ordinal++;
    symmetry_copies([&](int to, int from) { source[to] = source[from]; });
}

}  // namespace kelvane
