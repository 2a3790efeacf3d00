// sodrel: is the basis cutoff jmax of a kelvane run large enough?  Takes the
// nine arguments of kelvane:
//   sodrel temp nslice iodevn ithe1 ithe2 ax az ay jmax
#include "kelvane/run/command_line.hpp"
#include "sodrel/rotcalc.hpp"
#include "process/process.hpp"

int main(int argc, char** argv)
{
    return process::run_main("sodrel", [&] {
        sodrel::rotcalc(kelvane::read_command_line(argc, argv, kelvane::program::sodrel));
    });
}
