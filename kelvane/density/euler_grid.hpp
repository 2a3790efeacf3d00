// The one-degree Euler grid of the density: theta planes of 361 x 361 cells
// (iphi, ichi = 0..360), the eighth of a plane that is evaluated, and the
// symmetry copies that complete the plane from it.
#pragma once

#include <cstdint>
#include <span>

#include "kelvane/run/run_args.hpp"

namespace kelvane {

inline constexpr int plane_side = 361;                        // iphi, ichi = 0..360
inline constexpr int plane_cells = plane_side * plane_side;   // 130321
inline constexpr int region_points = 16561;                   // evaluated per plane
inline constexpr double grid_pi = 3.141592653589793;

// A grid index in radians: index * pi first, then / 180.
inline double grid_angle(int index) { return (index * grid_pi) / 180; }

// Last ichi of row iphi in the reduced region: one eighth of the plane, from
// which the symmetries of d^J and of the cosines give the rest.  No row
// reaches past ichi = 90.
int region_last_chi(int iphi);

// The reduced region in evaluation order (iphi outer, ichi inner).
struct region_point { std::int16_t iphi, ichi; };
void list_region(std::span<region_point> points);   // region_points entries

// Runs the four symmetry copies of a plane (in their order, each loop
// ascending, the second index innermost) as copy(destination, source) on cell
// indices iphi * 361 + ichi.  After the last copy every cell holds a value
// that was evaluated or copied before it was read.
template <class Copy>
void symmetry_copies(Copy&& copy)
{
    auto cell = [](int p, int c) { return p * plane_side + c; };
    for (int p = 90; p <= 180; ++p)
        for (int c = 180 - p; c <= p; ++c) copy(cell(p, c), cell(180 - c, 180 - p));
    for (int m = 0; m <= 90; ++m)
        for (int c = m; c <= 180 - m; ++c) copy(cell(180 + m, c), cell(180 + c, m));
    for (int p = 180; p <= 360; ++p)
        for (int c = 360 - p; c <= p; ++c) copy(cell(p, c), cell(360 - c, 360 - p));
    for (int p = 0; p <= 360; ++p)
        for (int c = p; c <= 360; ++c) copy(cell(p, c), cell(c, p));
}

// For each cell of a plane, the position in region order of the evaluated
// point whose values the copies bring there.  The map is the same for every
// plane.
void fill_cell_sources(std::span<std::int32_t> source);   // plane_cells entries

}  // namespace kelvane
