// sodrel: is the basis cutoff jmax of a kelvane run large enough?  Takes the
// nine arguments of kelvane:
//   sodrel temp nslice iodevn ithe1 ithe2 ax az ay jmax
// With --accuracy TOL before them, the jmax a table needs instead.
#include "kelvane/levels/command_line.hpp"
#include "sodrel/accuracy_report.hpp"
#include "sodrel/rotcalc.hpp"
#include "textio/textio.hpp"

int main(int argc, char** argv)
{
    return textio::run_main("sodrel", [&] {
        const kelvane::run_args args = kelvane::read_command_line(argc, argv, kelvane::program::sodrel);
        if (args.accuracy > 0)
            sodrel::report_accuracy(args, textio::line_sink::standard_output());
        else
            sodrel::rotcalc(args);
    });
}
