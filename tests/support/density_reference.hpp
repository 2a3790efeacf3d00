// The straightforward evaluation of a plane, term by term as the recipe
// states it: the Wigner table of every pair from the trusted values (the
// series where it holds, the recursion elsewhere: wigner_reference.hpp), one
// exp per level and one cosine per (K1, K2) term at every point, the four
// copies on whole grids, every value formatted where it is written.  Far too
// slow for runs; it is the yardstick the fast evaluation must match bit for
// bit, in the tests and in the benchmark.
#pragma once

#include <span>
#include <string>

#include "kelvane/density/block_combination.hpp"
#include "kelvane/levels/rotlev.hpp"
#include "kelvane/run/run_args.hpp"

namespace kelvane {

// wigtab of one plane, (J, K1, K2) with J fastest: (jmax+1)(2jmax+1)^2 entries,
// every pair: the trusted values, element by element the series of wigd where
// its error bound allows and the recursion elsewhere
// (wigner_reference::wigd_trusted_plane).
std::size_t literal_wigner_size(int jmax);
void literal_wigner_plane(int jmax, int ithe, std::span<double> wigtab);

// The same table from the series of wigd alone, whatever its error: what the
// trusted values mend at large J.
void series_wigner_plane(int jmax, int ithe, std::span<double> wigtab);

// rhopro, erotpr, erotsq at one grid point of the plane whose wigtab is given.
point_values literal_point(const rotlev& levels, double tau, int iodevn,
                           std::span<const double> wigtab, int iphi, int ichi);

// A whole plane: the reduced region evaluated, then the four copies.  Each
// grid has plane_cells entries, ichi fastest.
void literal_plane(const rotlev& levels, double tau, int iodevn, std::span<const double> wigtab,
                   std::span<double> rho, std::span<double> eng, std::span<double> esq);

// The text of the four files of a complete plane, each value formatted for
// each file it goes to; buffers[0] gets the header when ithe is 0.
void literal_plane_text(const run_args& args, int ithe, std::span<const double> rho,
                        std::span<const double> eng, std::span<const double> esq,
                        std::string (&buffers)[4]);

}  // namespace kelvane
