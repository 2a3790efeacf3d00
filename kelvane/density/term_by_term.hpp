// The density, energy estimator and energy-square estimator at points of a
// theta plane, in the order of arithmetic that defines them:
//
// rho = sum over J, levels i of (2J+1)/(8 pi^2) exp(-tau E_i)
//       sum over K1, K2 of c_i(K1) cos(K1 phi + K2 chi) c_i(K2) d^J_{K1 K2}(theta),
//
// summed block by block (even K, odd K), J ascending, levels in stored
// order, K1 and K2 ascending, each inner sum over K2 complete before it meets
// c_i(K1); R, U and V of a block carry 1, E and E^2.  Every value here is bit
// for bit the one that order gives.
//
// Points are evaluated in groups of group_width, each lane of a vector
// keeping the accumulation order of a single point (simd.hpp); the groups of
// a plane are shared over the threads.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "kelvane/density/euler_grid.hpp"
#include "kelvane/density/level_plan.hpp"
#include "kelvane/density/plane_evaluator.hpp"

namespace kelvane {

class term_by_term_evaluator final : public plane_evaluator {
public:
    static constexpr int group_width = 16;

    explicit term_by_term_evaluator(const evaluation_settings& s) : settings_(s) {}
    // Takes (or counts) the storage of the settings' jmax and threads.
    void reserve(routines::storage& s);

    void plan(const rotlev& levels, double tau) override;
    wigner_tables wigner_needs() const override { return {routines::wigner_method::trusted, settings_.jmax}; }
    std::array<int, 2> wigner_tops() const override { return plan_tops(plans_, settings_.blocks); }
    void evaluate(const routines::wigner_plane& wigner, region_values& out, plane_progress& progress) override;

    // The values of the given points into the positions at .. at +
    // points.size() - 1 of out (whose block sums, where sized, are filled
    // too), with the scratch of worker `worker` (0 .. threads - 1): each
    // point's bits whatever the points beside it.  evaluate() takes the
    // region this way, a group of points for each worker in turn.
    void evaluate_points(const routines::wigner_plane& wigner, std::span<const region_point> points,
                         region_values& out, std::size_t at = 0, int worker = 0);

private:
    void evaluate_group(const routines::wigner_plane& wigner, const region_point* points, int count,
                        double* scratch, region_values& out, std::size_t at) const;

    evaluation_settings settings_;
    block_plans plans_;
    std::vector<region_point> region_;
    std::vector<double> scratch_;   // per worker: the cosines of a group
};

}  // namespace kelvane
