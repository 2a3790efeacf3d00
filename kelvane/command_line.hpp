// The nine positional arguments shared by kelvane and sodrel:
// temp nslice iodevn ithe1 ithe2 ax az ay jmax.
#pragma once

#include <string_view>

#include "kelvane/run_args.hpp"

namespace kelvane {

// The largest J the basis may reach.
inline constexpr int jmax_limit = 876;

// Whether the program computes theta planes, and so checks ithe1.
enum class plane_arguments { checked, ignored };

// "-h" or "--help" as the first argument prints the usage line and a line
// per argument on standard output and ends with status 0.  Otherwise reads
// the nine arguments in order, each through its 30-character window, and ends the program before any output when one is missing or unreadable
// (usage error, status 2), when jmax exceeds the limit (stop, status 0), or
// when a value cannot describe a run (usage error, status 2): nslice < 1,
// temp not a positive finite number, jmax < 0 and, for a program that
// computes planes, ithe1 < 0 while ithe1 <= ithe2.  Sets ndim = 2 jmax + 1.
run_args read_command_line(int argc, char** argv, std::string_view program, plane_arguments planes);

}  // namespace kelvane
