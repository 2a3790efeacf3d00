// What a basis cut at jmax leaves out of kelvane's density table, bounded
// from above with the exact levels of the J beyond the cut.
//
// The quantities.  For the K-parity blocks the density uses (iodevn) and
// m = 0, 1, 2, the table holds at a rotation w
//
//   Q_m(w) = sum_J w_J sum_i b_i E_i^m t_i(w),   w_J = (2J+1)/(8 pi^2),  b_i = exp(-tau E_i),
//   t_i(w) = sum_{K1,K2} c_i(K1) c_i(K2) cos(K1 phi + K2 chi) d^J_{K1K2}(theta),
//
// that is rho (m = 0), rho times the energy estimator (m = 1) and rho times
// the energy-square estimator (m = 2).  t_i is the real part of u^T d^J v
// with u(K) = c_i(K) e^{i K phi}, v(K) = c_i(K) e^{i K chi} of norm 1 and d^J
// orthogonal, so |t_i(w)| <= 1, with t_i = 1 at the identity.  The levels are
// not negative (H = sum_a C_a J_a^2 with every C_a > 0), so every term is
// largest at the identity, where Q_m is the whole sum
// S_m = sum_J w_J sum_i b_i E_i^m: S_m is the largest value of Q_m, and
// 8 pi^2 S_m is the partition function (m = 0) at tau, Z E and Z <E^2>.
//
// What the table leaves out.  The levels of one J do not depend on jmax, so
// a table at jmax differs from the complete sum by the levels of J > jmax,
// and by the levels of J <= jmax whose weight w_J b_i falls below the
// density's cut (1e-16).  With L_m(jmax) the sum of w_J b_i E_i^m over those
// levels, at every rotation
//
//   |Q_m(w) - Q_m^table(w)| <= L_m(jmax),
//
// with equality at the identity when only J > jmax is left out: the bound is
// the exact error there, and so the smallest bound over all rotations.  Let
// P_m(jmax) <= S_m be the sum over the levels of J <= jmax that are surely
// kept.  The truncation bound is
//
//   B(jmax) = max_m L_m(jmax) / P_m(jmax),
//
// which bounds the change of every value of rho, rho.eng and rho.esq
// relative to its largest value (of the complete table or of the one at
// jmax, both at least P_m).  It also bounds the relative errors of the
// report's Z, E and <E^2> at tau (of the same blocks), whose sums take every
// level of J <= jmax and miss T_m, the part of L_m beyond jmax: Z misses
// T_0/(S_0 + T_0) <= B; E = S_1/S_0 against (S_1 + T_1)/(S_0 + T_0) differs
// by |S_0 T_1 - S_1 T_0| / (S_0 (S_1 + T_1)) <= max(T_1/S_1, T_0/S_0) <= B,
// both products being positive; <E^2> the same with m = 2.
//
// The sum beyond jmax.  Exact levels for J up to some jtop, then for every
// J > jtop the analytic remainder: E >= e_J = Cmin J(J+1) with Cmin the
// smallest constant (H - Cmin J^2 is a sum of non-negative terms), and a
// block selection holds at most n_J = 2J+1 levels (J+1 for one parity), so
// once e_J >= m/tau, where E^m e^{-tau E} decreases,
//
//   sum over the levels of J of w_J b E^m <= g_m(J) = w_J n_J e_J^m exp(-tau e_J).
//
// The ratio r_m(J) = g_m(J+1)/g_m(J) is a product of positive factors that
// all decrease with J ((2J+3)/(2J+1) of w_J, (2J+3)/(2J+1) or (J+2)/(J+1) of
// n_J, ((J+2)/J)^m, exp(-2 tau Cmin (J+1))), so once r = r_m(J1) < 1 at a J1
// with tau e_J1 >= 2, every later ratio is at most r, and
// sum_{J >= J1} g_m(J) <= g_m(J1) / (1 - r).
//
// Rounding, so that the bound is never too small.  The computed levels are
// those of the tridiagonal blocks within delta_J = 1e-9 (ax+ay+az) (J(J+1)+1):
// the QL iteration accepts each eigenvalue when its off-diagonal element is
// below 1e-12 of the largest |d| + |e| it has met, which with the rounding of
// its rotations is a change of the matrix of norm below 1e-11 ||H|| (Weyl),
// and ||H|| <= (ax+ay+az) J(J+1).  The terms of L take E - delta in the
// exponential and E + delta in the power, those of P the reverse, and a
// level counts as possibly cut (in L, not in P) when
// w_J exp(-tau (E + delta)) < 1e-16 (1 + 1e-6), which covers kelvane's own
// levels and rounding.  Every sum is carried as a logarithm, so nothing
// overflows or underflows at any temperature: a term is
// log w_J + m log E - tau E, of absolute error below 4 eps mu with mu the sum
// of the magnitudes of its parts, and each addition of the streamed
// log-sum-exp errs by a few eps relative.  With N the number of additions and
// mu_max the largest mu, the computed ratio is within a factor
// exp(16 eps (mu_max + N + 1)) of the exact ratio of the rounded terms; B is
// multiplied by exp(64 eps (mu_max + N + 1)).
//
// What the bound does not cover: the rounding of the table's own sums (some
// 1e-16 of its peak), and the estimator files' convention of 0 where |rho| of
// a block is below 1e-16.
#pragma once

#include <vector>

#include "kelvane/run/command_line.hpp"
#include "kelvane/run/run_args.hpp"

namespace sodrel {

// Exact levels are taken at most this far; beyond it the analytic remainder
// alone, sound but looser, bounds the sum.
inline constexpr int last_exact_j = kelvane::jmax_limit + kelvane::jmax_limit / 4;

// B(j) for j = 0, 1, ..., bound.size() - 1 (+inf where the blocks have no
// level yet), with the exact levels taken far enough that the analytic
// remainder adds at most 1e-3 tol to each ratio; the last j is at most 876
// and at least the smallest j that passes kelvane's cutoff test (the highest
// level's Boltzmann factors at beta and tau at most 1e-8), when one up to 876
// does.  Needs positive finite constants, iodevn -1, 0 or 1 and
// 0 < tol <= 1.  Ends the run (stop "  FAIL") when a block does not converge.
struct truncation_table {
    std::vector<double> bound;
    int first_passing = -1;   // the smallest j that passes the cutoff test, -1 if none up to 876
    // False, with no bound, when the analytic remainder does not hold even
    // past last_exact_j (a smallest constant far below the largest and a
    // short step).
    bool bounded = true;
};
truncation_table truncation_bounds(const kelvane::run_args& args, double tol);

// The answer of sodrel --accuracy: the smallest jmax that passes kelvane's
// cutoff test and has B(jmax) <= tol, with its bound; jmax = -1 when none up
// to 876 does, with the smallest finite bound of those that pass the cutoff
// test (best_jmax = -1 when there is none).
struct accuracy_answer {
    int first_passing = -1;   // as in truncation_table
    bool bounded = true;      // as in truncation_table
    int jmax = -1;
    double bound = 0;
    int best_jmax = -1;
    double best_bound = 0;
};
accuracy_answer accurate_jmax(const kelvane::run_args& args, double tol);

}  // namespace sodrel
