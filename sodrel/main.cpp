// sodrel: is the basis cutoff jmax of a kelvane run large enough?  Takes the
// nine arguments of kelvane:
//   sodrel temp nslice iodevn ithe1 ithe2 ax az ay jmax
#include <new>

#include "kelvane/command_line.hpp"
#include "sodrel/rotcalc.hpp"
#include "textio/textio.hpp"

int main(int argc, char** argv)
try {
    sodrel::rotcalc(kelvane::read_command_line(argc, argv, "sodrel", kelvane::plane_arguments::ignored));
} catch (const std::bad_alloc&) {
    textio::io_failure("sodrel: out of memory");
}
