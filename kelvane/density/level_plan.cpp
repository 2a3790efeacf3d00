#include "kelvane/density/level_plan.hpp"

#include <cmath>

namespace kelvane {

void reserve_block_plan(block_plan& plan, int jmax)
{
    const auto count = static_cast<std::size_t>(jmax + 1) * static_cast<std::size_t>(jmax + 1);
    plan.levels.reserve(count);
    plan.first.reserve(static_cast<std::size_t>(jmax) + 2);
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

}  // namespace kelvane
