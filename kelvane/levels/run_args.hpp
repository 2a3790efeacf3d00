// The nine command-line values of kelvane and sodrel, and ndim.
#pragma once

namespace kelvane {

// How the density planes are evaluated: term by term in the order of
// arithmetic that defines them (the default, whose files are bit for bit
// those of every earlier run), or as a two-dimensional Fourier series carried
// in double-double, far faster and closer to the exact sums of the same
// inputs (the option --fourier).
enum class plane_evaluation { term_by_term, fourier_series };

struct run_args {
    double temp = 0;     // K
    int nslice = 0;      // imaginary-time slices; tau = beta / nslice
    int iodevn = 0;      // K-parity blocks of the density: -1 both, 0 even, 1 odd
    int ithe1 = 0;       // first theta plane, degrees
    int ithe2 = -1;      // last theta plane, inclusive
    double ax = 0;       // rotational constants, cm-1, of the body x, z and y axes
    double az = 0;
    double ay = 0;
    int jmax = 0;        // highest J of the basis, at most 876
    int ndim = 1;        // 2 jmax + 1
    plane_evaluation evaluation = plane_evaluation::term_by_term;
    // sodrel --accuracy TOL: the smallest jmax whose left-out levels change
    // the table by at most TOL of its peak; 0 when not asked.
    double accuracy = 0;
};

}  // namespace kelvane
