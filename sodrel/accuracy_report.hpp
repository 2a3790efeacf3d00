// sodrel --accuracy TOL: the jmax a kelvane table needs for its left-out
// levels to change it by at most TOL, as one line on standard output.
#pragma once

#include <string>

#include "kelvane/run/run_args.hpp"
#include "process/process.hpp"

namespace sodrel {

// Prints "accuracy TOL: jmax= J bound= B" (TOL as %g, B rounded up to two
// digits, %.1e) for the smallest J that passes kelvane's cutoff test and
// whose truncation bound B is at most TOL = args.accuracy.  When no J up to
// 876 does, prints nothing and ends the run with a stop that says so.
void report_accuracy(const kelvane::run_args& args, const process::line_sink& out);

// v in "%.1e" layout, rounded up so that the text is never below v.
std::string two_digits_up(double v);

}  // namespace sodrel
