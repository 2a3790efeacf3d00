#include "kelvane/density/level_plan.hpp"

#include <algorithm>
#include <cmath>

namespace kelvane {

void reserve_block_plan(routines::storage& s, block_plan& plan, int jmax)
{
    s.room(plan.levels, static_cast<std::size_t>(jmax + 1) * static_cast<std::size_t>(jmax + 1));
    s.room(plan.first, static_cast<std::size_t>(jmax) + 2);
}

void make_block_plan(block_plan& plan, const rotlev& levels, parity par, double tau)
{
    const block_levels& block = levels.of(par);
    plan.par = par;
    plan.levels.clear();
    plan.first.clear();
    plan.jtop = -1;
    for (int j = 0; j <= levels.jmax; ++j) {
        plan.first.push_back(static_cast<std::int32_t>(plan.levels.size()));
        const int n = routines::block_order(j, par);
        const double w = j_weight(j);
        for (int i = 0; i < n; ++i) {
            const double e = block.levels_of(j)[i];
            const double b = std::exp(-tau * e);
            if (w * b < density_cut) continue;
            plan.levels.push_back({block.vector_of(j, i, n), e, b});
            plan.jtop = j;
        }
    }
    plan.first.push_back(static_cast<std::int32_t>(plan.levels.size()));
}

void reserve_block_plans(routines::storage& s, block_plans& plans, int jmax)
{
    reserve_block_plan(s, plans.even, jmax);
    reserve_block_plan(s, plans.odd, jmax);
}

void make_block_plans(block_plans& plans, const rotlev& levels, block_selection blocks, double tau)
{
    if (blocks.has(parity::even)) make_block_plan(plans.even, levels, parity::even, tau);
    if (blocks.has(parity::odd)) make_block_plan(plans.odd, levels, parity::odd, tau);
}

std::array<int, 2> plan_tops(const block_plans& plans, block_selection blocks)
{
    return {blocks.has(parity::even) ? plans.even.jtop : -1, blocks.has(parity::odd) ? plans.odd.jtop : -1};
}

int weight_cut_jtop(double tau, double x, double y, double z, int jmax)
{
    if (!(tau > 0) || !std::isfinite(tau) || !std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) return jmax;
    const double lowest = std::min({x, y, z});
    const double largest = std::max({std::fabs(x), std::fabs(y), std::fabs(z)});
    int top = 0;
    for (int j = 1; j <= jmax; ++j) {
        const double jj = static_cast<double>(j) * (j + 1);
        const double e = (lowest - 1e-6 * largest) * jj;
        if (j_weight(j) * std::exp(-tau * e) >= 0.5 * density_cut) top = j;
    }
    return top;
}

k_class k_class_of(int jtop, parity par)
{
    k_class c;
    c.k1_low = routines::parity_index(par);
    if (jtop < 0) return c;
    c.klo = -jtop + (jtop + c.k1_low) % 2;
    if (c.klo > jtop) return c;
    c.count = -c.klo + 1;
    c.rows = (-c.klo - c.k1_low) / 2 + 1;
    return c;
}

}  // namespace kelvane
