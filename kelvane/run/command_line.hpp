// The nine positional arguments shared by kelvane, kelvane-mpi and sodrel:
// temp nslice iodevn ithe1 ithe2 ax az ay jmax.
#pragma once

#include <string_view>

#include "kelvane/run/run_args.hpp"
#include "routines/parity_blocks.hpp"

namespace kelvane {

// The largest J the basis may reach (876).
using routines::jmax_limit;

// The program that reads the arguments: its name in messages and help, and
// whether it computes theta planes (and so checks ithe1).
enum class program { kelvane, kelvane_mpi, sodrel };
std::string_view program_name(program p);
inline bool computes_planes(program p) { return p != program::sodrel; }

// "-h" or "--help" as the first argument prints the usage line and a line
// per argument on standard output and stops (bare stop).  Otherwise reads
// the nine arguments in order, each through its 30-character window, and
// ends the run before any output when one is missing or unreadable
// (usage_failure), when jmax exceeds jmax_limit (stop "maxj is larger than
// the limit of 876"), or when a value cannot describe a run
// (usage_failure): nslice < 1, temp not a positive finite number, jmax < 0
// and, for a program that computes planes, ithe1 < 0 while ithe1 <= ithe2.
// Sets ndim = 2 jmax + 1.
run_args read_command_line(int argc, char** argv, program p);

// The thread count of a run from the value of KELVANE_THREADS (null or
// empty: not set), given the hardware's count: a whole number from 1 to
// 256, by default the hardware's (at most 256).  A value that is not such a
// number is a run_failure that names it.
int thread_count(const char* kelvane_threads, unsigned hardware);

}  // namespace kelvane
