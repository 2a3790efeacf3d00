// kelvane: rotational levels, thermodynamics and the rotational density
// matrix of a rigid asymmetric top, from the command line
//   kelvane temp nslice iodevn ithe1 ithe2 ax az ay jmax
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>

#include "kelvane/density/euler_grid.hpp"
#include "kelvane/density/plane_progress.hpp"
#include "kelvane/levels/command_line.hpp"
#include "kelvane/rotcalc.hpp"
#include "process/process.hpp"

int main(int argc, char** argv)
{
    using namespace kelvane;
    return process::run_main("kelvane", [&] {
        const int threads =
            thread_count(std::getenv("KELVANE_THREADS"), std::thread::hardware_concurrency());
        const run_args args = read_command_line(argc, argv, program::kelvane);
        // A long run shows how far it has come on a terminal, when the report
        // goes elsewhere.
        std::optional<terminal_line> line;
        // ithe1 is at least 0 whenever it is not above ithe2.
        const int planes = args.ithe1 <= args.ithe2 ? std::min(args.ithe2, last_plane) - args.ithe1 + 1 : 0;
        if (planes > 0 && ::isatty(STDERR_FILENO) && !::isatty(STDOUT_FILENO))
            line.emplace(stderr, "kelvane", planes);
        printed_progress printed;
        std::optional<printed_progress_with_line> with_line;
        if (line) with_line.emplace(*line);
        rotcalc(args, threads, with_line ? static_cast<plane_progress&>(*with_line) : printed);
    });
}
