// The two evaluations of a theta plane behind one interface: the density,
// the energy estimator and the energy-square estimator at every point of the
// plane's reduced region, from the level set and the plane's Wigner tables.
//
//   term by term     the order of arithmetic that defines the values, bit for
//                    bit (term_by_term.hpp): the default, whose files every
//                    earlier run reproduces;
//   Fourier series   the same sums regrouped as a two-dimensional Fourier
//                    series in phi and chi, carried in double-double and
//                    rounded once (fourier_series.hpp): --fourier.
//
// Each evaluation owns its storage, obtained once for the run, and shares its
// work over the threads it was given; its values do not depend on the thread
// count or the vector width.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <vector>

#include "kelvane/density/block_combination.hpp"
#include "kelvane/density/plane_progress.hpp"
#include "kelvane/density/simd.hpp"
#include "kelvane/levels/rotlev.hpp"
#include "kelvane/run/run_args.hpp"
#include "routines/storage.hpp"
#include "routines/wigner/plane_tables.hpp"

namespace kelvane {

// A block's sums at a point: the density R and its first and second energy
// moments U and V (block_combination.hpp turns them into the three values).
struct block_sums { double r, u, v; };

// The values of a plane's reduced region, in region order (list_region).
// Where even and odd are sized (region_points each), the evaluation also
// leaves there each point's block sums, zero for a block it does not sum.
struct region_values {
    std::vector<double> rho, eng, esq;
    std::vector<block_sums> even, odd;
};
void reserve_region_values(routines::storage& s, region_values& v);

// A point's values from its block sums, at position `at` of out, with the
// block sums themselves where out sizes them.
inline void put_point(region_values& out, std::size_t at, block_selection blocks, const block_sums& even,
                      const block_sums& odd)
{
    const point_values p = combine_blocks(blocks, even.r, even.u, even.v, odd.r, odd.u, odd.v);
    out.rho[at] = p.rho;
    out.eng[at] = p.eng;
    out.esq[at] = p.esq;
    if (!out.even.empty()) out.even[at] = even;
    if (!out.odd.empty()) out.odd[at] = odd;
}

struct evaluation_settings {
    int jmax = 0;
    // The highest J whose levels can pass the weight cut (weight_cut_jtop):
    // what an evaluation may size its storage by in place of jmax.
    int jtop = 0;
    block_selection blocks = *block_selection::of(-1);
    int threads = 1;
    simd_path path = best_simd_path();
};
// The settings of a run's arguments.
evaluation_settings settings_of(const run_args& args, block_selection blocks, int threads,
                                simd_path path = best_simd_path());

// The Wigner tables a plane's evaluation reads: by which method, for J up to
// jmax.
struct wigner_tables {
    routines::wigner_method method;
    int jmax;
};

class plane_evaluator {
public:
    virtual ~plane_evaluator() = default;

    // Once per run: the levels whose weight (2J+1)/(8 pi^2) exp(-tau E)
    // passes the cut, and whatever the evaluation prepares from them.
    virtual void plan(const rotlev& levels, double tau) = 0;

    // Which Wigner values the evaluation reads: the trusted values of the
    // term-by-term order up to jmax, the three-term values of the Fourier
    // series up to the settings' jtop.
    virtual wigner_tables wigner_needs() const = 0;

    // The highest J of each parity (by routines::parity_index) whose Wigner
    // block the planned sums read; -1 where none.
    virtual std::array<int, 2> wigner_tops() const = 0;

    // The reduced region of one plane from its Wigner tables (reserved as
    // wigner_needs() says, filled up to wigner_tops()); each row is told to
    // progress, in order, before any of its points is evaluated.
    virtual void evaluate(const routines::wigner_plane& wigner, region_values& out,
                          plane_progress& progress) = 0;
};

// An evaluation with all its storage for runs up to the settings' jmax,
// taken from st (may throw std::bad_alloc) or only counted there, the
// evaluation object included.
std::unique_ptr<plane_evaluator> make_plane_evaluator(plane_evaluation evaluation, const evaluation_settings& s,
                                                      routines::storage& st);

}  // namespace kelvane
