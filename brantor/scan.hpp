// The energy scan: a fixed grid of displacements of the molecule's centre of
// mass from the cage centre and of its Euler angles, one detail line and one
// report line per configuration, in grid order.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "brantor/cage.hpp"

namespace brantor {

inline constexpr double pi = 3.141592653589793;

// Grid sizes, outermost first: x, y, z, phi, theta, chi.  Both 0 and 360
// degrees are visited for phi and chi.
inline constexpr int nshift = 6;
inline constexpr int nphi = 7;
inline constexpr int nthe = 4;
inline constexpr int nchi = 7;
inline constexpr int nconfig = nshift * nshift * nshift * nphi * nthe * nchi;

// Values computed afresh from the 1-based counter, never by accumulation:
// (n - 1) * 0.1 + 0.0 A and ((n - 1) * 60.0) * pi / 180.0 + 0.0 rad.
double grid_shift(int n);
double grid_angle(int n);

// (180 * angle) / pi, the product first.
double degrees(double angle);

// "(3F6.2,'  phi =',F5.1,'  the =',F5.1,'  chi =',F5.1,'  energy =', F18.4)"
void put_report_line(std::string& out, const point& t, const euler& angles, double energy);

// Receives the text of consecutive configurations, in grid order: the detail
// lines of a run of configurations, then their report lines.
using block_writer = std::function<void(std::string_view detail, std::string_view report)>;

// The whole scan.  Configurations are independent, so their energies and
// lines are made on nthreads threads; each block is computed by one thread
// from the same inputs in the same order, so the text is the same for any
// thread count.  An exception on any thread (memory that runs out, a writer
// that fails) ends the scan with that exception on the calling thread, after
// the blocks written so far.
void scan(int nthreads, const block_writer& write);

}  // namespace brantor
