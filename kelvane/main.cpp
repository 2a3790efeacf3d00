// kelvane: rotational levels, thermodynamics and the rotational density
// matrix of a rigid asymmetric top, from the command line
//   kelvane temp nslice iodevn ithe1 ithe2 ax az ay jmax
#include <new>

#include "kelvane/command_line.hpp"
#include "kelvane/rotcalc.hpp"
#include "textio/textio.hpp"

// The storage of a run is obtained up front, with a message that says how
// much; memory that runs out later still ends with a message and status 2.
int main(int argc, char** argv)
try {
    const kelvane::run_args args =
        kelvane::read_command_line(argc, argv, "kelvane", kelvane::plane_arguments::checked);
    kelvane::rotcalc(args);
    textio::flush_out();
    return 0;
} catch (const std::bad_alloc&) {
    textio::io_failure("kelvane: out of memory");
}
