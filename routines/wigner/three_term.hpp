// The Wigner small-d values d^J_{m'm}(beta) of one column m, J = m, m + 1,
// ..., by the three-term recursion in J at fixed projections, carried in
// double-double and rounded to double once per value:
//
//   J r_{J+1}(m) r_{J+1}(m') d^{J+1} = (2J+1) [J (J+1) cos beta - m m'] d^J
//                                      - (J+1) r_J(m) r_J(m') d^{J-1},
//   r_J(k) = sqrt(J^2 - k^2),
//
// from d^{m-1} = 0 and the closed form at J = m >= |m'|,
//
//   d^m_{m'm} = sqrt(C(2m, m - m')) cos(beta/2)^(m+m') sin(beta/2)^(m-m')
//
// (d^1_{00} = cos beta where m = 0).  Every element is one of a column's:
// d^J_{m'm} = (-1)^(m-m') d^J_{mm'} = d^J_{-m,-m'}, so the elements with
// max(|m'|, |m|) = c are those of column c and their images, without a sign
// where m' - m is even.
//
// Work and storage: O(1) double-double operations per element, no table
// that grows with the number of elements: the factors that do not depend on
// the angle take O(jmax^2), a column's state O(m).
//
// Accuracy.  Near the seed the column lies in its classically forbidden
// range, where d^J grows with J and the second solution of the recursion
// decays, so the forward recursion follows the growing one and keeps its
// relative accuracy; past the turning point both solutions oscillate with
// amplitudes of one order, and errors add up over the steps without growth.
// With every step good to some 2^-104 relative (cos beta, the half-angle
// powers and the binomials included, each from binary128 or exact integers),
// every value is within a unit in the last place of the exact d^J at the
// double angle, or far closer than 1e-17 to it (tests/routines: 5,937
// values of 50 digits and more, J up to 876).
//
// Underflow.  Near beta = 0 or pi the closed form of a row can lie far below
// the range of doubles (sin(beta/2)^(2m) is 1e-826 at m = 200, beta = 1
// degree), while the values it grows into need not: at beta = 41 degrees
// row -326 of column 326 starts from 2^-986 and reaches 1e-6 by J = 874,
// where a double-double would have lost its low part at the start.  A row
// whose value lies below 2^-600 therefore carries a binary exponent beside
// its double-double until it comes above; each of its values is the rounded
// mantissa scaled by that power of two, so nothing is lost that a double can
// hold.
#pragma once

#include <cstddef>
#include <span>

namespace routines::wigner {

// The factors that do not depend on the angle, for the steps J -> J + 1 with
// J < jmax: 1 / r_{J+1}(k) and r_J(k) / r_{J+1}(k), k = 0..J, in
// double-double.
std::size_t column_factors_size(int jmax);
void fill_column_factors(int jmax, std::span<double> factors);

// What the columns of one angle share: cos beta in double-double, and the
// powers cos(beta/2)^a, sin(beta/2)^a, a = 0..2 jtop, each a double-double
// with a binary exponent, held in `powers` (column_powers_size(jtop)).
struct column_angle {
    double cos_beta[2];
    const double* powers;
    int jtop;
};
std::size_t column_powers_size(int jtop);
column_angle column_angle_of(double beta, int jtop, std::span<double> powers);

// Column m of d^J at one angle, the rows m' = first_row + 2i, i < rows, of
// one parity (first_row = -m for the rows of the parity of m, -m + 1 for the
// others), J from m up to the jmax of the factors and the jtop of the angle.
// column_sweep_start leaves it at J = m, column_sweep_next moves it to
// J + 1, column_sweep_element reads d^J of row i.  The state lives in
// storage the caller owns, column_state_size(m) doubles, untouched while the
// sweep is in use.
struct column_sweep {
    const double* factors;
    column_angle angle;
    double* state;
    int m, first_row, rows;
    int j;
};
std::size_t column_state_size(int m);
column_sweep column_sweep_start(std::span<const double> factors, const column_angle& angle, int m, int first_row,
                                std::span<double> state);
void column_sweep_next(column_sweep& c);
double column_sweep_element(const column_sweep& c, int i);

}  // namespace routines::wigner
