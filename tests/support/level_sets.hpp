// Level sets for the density tests: the water levels of the level stage's own
// matrix elements and solver, and random orthonormal blocks whose energies
// can be put at and around the weight cut.
#pragma once

#include <cmath>
#include <functional>
#include <random>
#include <stdexcept>
#include <vector>

#include "kelvane/density/level_plan.hpp"
#include "kelvane/levels/rotlev.hpp"
#include "routines/rotmat.hpp"
#include "routines/tql.hpp"

namespace kelvane::level_sets {

inline void start_block_levels(block_levels& b, int jmax)
{
    b = {};
    b.level_start.assign(static_cast<std::size_t>(jmax) + 2, 0);
    b.vec_start.assign(static_cast<std::size_t>(jmax) + 2, 0);
}

inline void close_j(block_levels& b, int j)
{
    b.level_start[static_cast<std::size_t>(j) + 1] = static_cast<std::int64_t>(b.level.size());
    b.vec_start[static_cast<std::size_t>(j) + 1] = static_cast<std::int64_t>(b.vec.size());
}

// The asymmetric top ax Jx^2 + ay Jy^2 + az Jz^2, block by block.
inline rotlev top_levels(int jmax, double ax, double az, double ay)
{
    rotlev lev;
    lev.jmax = jmax;
    start_block_levels(lev.even, jmax);
    start_block_levels(lev.odd, jmax);
    const int nm = jmax + 1;
    std::vector<double> a(static_cast<std::size_t>(nm) * nm), d(nm), e(nm);
    for (int j = 0; j <= jmax; ++j) {
        for (const parity par : routines::both_parities) {
            block_levels& b = lev.of(par);
            const int n = routines::block_order(j, par);
            const int k0 = routines::block_first_k(j, par);
            if (n > 0) {
                for (int i = 0; i < n; ++i)
                    for (int k = 0; k < n; ++k)
                        a[static_cast<std::size_t>(i + k * nm)] =
                            routines::rotmat(j, k0 + 2 * i, k0 + 2 * k, ax, az, ay);
                if (!routines::tql(nm, n, a.data(), d.data(), e.data())) throw std::runtime_error("no convergence");
                for (int i = 0; i < n; ++i) b.level.push_back(d[static_cast<std::size_t>(i)]);
                for (int i = 0; i < n; ++i)
                    for (int k = 0; k < n; ++k) b.vec.push_back(a[static_cast<std::size_t>(k + i * nm)]);
            }
            close_j(b, j);
        }
    }
    return lev;
}

// Random orthonormal vectors (Gram-Schmidt on uniform entries); level i of
// block (j, parity) has energy energy(j, parity, i), ascending in i.
inline rotlev random_levels(int jmax, unsigned seed,
                            const std::function<double(int, parity, int)>& energy)
{
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    rotlev lev;
    lev.jmax = jmax;
    start_block_levels(lev.even, jmax);
    start_block_levels(lev.odd, jmax);
    for (int j = 0; j <= jmax; ++j) {
        for (const parity par : routines::both_parities) {
            block_levels& b = lev.of(par);
            const int n = routines::block_order(j, par);
            std::vector<std::vector<double>> v(static_cast<std::size_t>(n), std::vector<double>(static_cast<std::size_t>(n)));
            for (int i = 0; i < n; ++i) {
                auto& x = v[static_cast<std::size_t>(i)];
                for (auto& c : x) c = u(rng);
                for (int p = 0; p < i; ++p) {
                    double dot = 0;
                    for (int k = 0; k < n; ++k) dot += x[static_cast<std::size_t>(k)] * v[static_cast<std::size_t>(p)][static_cast<std::size_t>(k)];
                    for (int k = 0; k < n; ++k) x[static_cast<std::size_t>(k)] -= dot * v[static_cast<std::size_t>(p)][static_cast<std::size_t>(k)];
                }
                double norm = 0;
                for (double c : x) norm += c * c;
                for (auto& c : x) c /= std::sqrt(norm);
            }
            for (int i = 0; i < n; ++i) b.level.push_back(energy(j, par, i));
            for (const auto& x : v) b.vec.insert(b.vec.end(), x.begin(), x.end());
            close_j(b, j);
        }
    }
    return lev;
}

// The energy at which (2J+1)/(8 pi^2) exp(-tau E) meets the weight cut.
inline double cut_energy(int j, double tau)
{
    return std::log((2 * j + 1) / eight_pi_squared / density_cut) / tau;
}

}  // namespace kelvane::level_sets
