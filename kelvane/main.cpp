// kelvane: rotational levels, thermodynamics and the rotational density
// matrix of a rigid asymmetric top, from the command line
//   kelvane temp nslice iodevn ithe1 ithe2 ax az ay jmax
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>

#include "kelvane/density/plane_progress.hpp"
#include "kelvane/rotcalc.hpp"
#include "kelvane/run/command_line.hpp"
#include "process/process.hpp"

int main(int argc, char** argv)
{
    using namespace kelvane;
    return process::run_main("kelvane", [&] {
        const int threads = thread_count(std::getenv("KELVANE_THREADS"), std::thread::hardware_concurrency());
        const run_args args = read_command_line(argc, argv, program::kelvane);
        // A long run shows how far it has come on a terminal, when the report
        // goes elsewhere.
        std::optional<terminal_line> line;
        const int planes = planes_of_run(args).count;
        if (planes > 0 && ::isatty(STDERR_FILENO) && !::isatty(STDOUT_FILENO))
            line.emplace(stderr, "kelvane", planes);
        printed_progress printed;
        std::optional<printed_progress_with_line> with_line;
        if (line) with_line.emplace(*line);
        rotcalc(args, threads, with_line ? static_cast<plane_progress&>(*with_line) : printed);
    });
}
