// The arguments of a water run for the tests and benchmarks: the rotational
// constants 27.877, 14.512 and 9.285 cm-1 (body x, z and y), the rest as
// given; by default the report only (ithe1 > ithe2).
#pragma once

#include "kelvane/run/run_args.hpp"

namespace kelvane {

inline run_args water_args(int jmax, double temp = 10, int nslice = 128, int iodevn = -1, int ithe1 = 1,
                           int ithe2 = 0)
{
    run_args a;
    a.temp = temp;
    a.nslice = nslice;
    a.iodevn = iodevn;
    a.ithe1 = ithe1;
    a.ithe2 = ithe2;
    a.ax = 27.877;
    a.az = 14.512;
    a.ay = 9.285;
    a.jmax = jmax;
    a.ndim = 2 * jmax + 1;
    return a;
}

}  // namespace kelvane
