// sodrel: is the basis cutoff jmax of a kelvane run large enough?  Takes the
// nine arguments of kelvane:
//   sodrel temp nslice iodevn ithe1 ithe2 ax az ay jmax
#include "command_line.hpp"
#include "rotcalc.hpp"

int main(int argc, char** argv)
{
    sodrel::rotcalc(kelvane::read_command_line(argc, argv, "sodrel", kelvane::plane_arguments::ignored));
}
