// The nine command-line values of kelvane and sodrel, and ndim.
#pragma once

namespace kelvane {

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
};

}  // namespace kelvane
