// The Wigner small-d matrices d^J(beta), J = 0, 1, 2, ..., by a recursion
// in J that is stable at every J: good to about 2e-15 (measured against
// 40-digit values) for every J up to jmax_limit, where the series loses
// everything by J = 50.  The error analysis is in recursion.cpp.
#pragma once

#include <cstddef>
#include <span>

namespace routines::wigner {

// d^J(beta) for J = 0, 1, ..., jmax in turn, in storage the caller owns: work
// holds at least sweep_work_size(jmax) doubles and must stay untouched while
// the sweep is in use.  sweep_start leaves the sweep at J = 0, sweep_next
// moves it to J + 1 (J < jmax), and sweep_element reads d^J_{m'm} for
// |m'|, |m| <= J, m' the row.  About 4 n^2 multiplications per half step n,
// (4/3) (2 jmax)^3 in all.
struct sweep {
    double* level[2];        // the last two levels of the half-step recursion
    double* q;               // sqrt(a/n) at level n
    double* q_rev;           // sqrt((n-a)/n)
    std::size_t ld;          // leading dimension of a level
    double c1, c0, s1, s0;   // cos(beta/2) = c1 - c0, sin(beta/2) = s1 - s0
    int jmax;
    int j;
};

std::size_t sweep_work_size(int jmax);
sweep sweep_start(int jmax, double beta, std::span<double> work);
void sweep_next(sweep& sw);
double sweep_element(const sweep& sw, int mp, int m);

}  // namespace routines::wigner
