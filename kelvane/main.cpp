// kelvane: rotational levels, thermodynamics and the rotational density
// matrix of a rigid asymmetric top, from the command line
//   kelvane temp nslice iodevn ithe1 ithe2 ax az ay jmax
#include "command_line.hpp"
#include "rotcalc.hpp"
#include "textio.hpp"

int main(int argc, char** argv)
{
    const kelvane::run_args args =
        kelvane::read_command_line(argc, argv, "kelvane", kelvane::plane_arguments::checked);
    kelvane::rotcalc(args);
    textio::flush_out();
    return 0;
}
