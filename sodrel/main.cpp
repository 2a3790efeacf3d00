// sodrel: is the basis cutoff jmax of a kelvane run large enough?  Takes the
// nine arguments of kelvane:
//   sodrel temp nslice iodevn ithe1 ithe2 ax az ay jmax
// With --accuracy TOL before them, the jmax a table needs instead.
#include "kelvane/run/command_line.hpp"
#include "sodrel/accuracy_report.hpp"
#include "sodrel/rotcalc.hpp"
#include "process/process.hpp"

int main(int argc, char** argv)
{
    return process::run_main("sodrel", [&] {
        const kelvane::run_args args = kelvane::read_command_line(argc, argv, kelvane::program::sodrel);
        if (args.accuracy > 0)
            sodrel::report_accuracy(args, process::line_sink::standard_output());
        else
            sodrel::rotcalc(args);
    });
}
