#include "command_line.hpp"

#include <cmath>
#include <string>

#include "textio.hpp"

namespace kelvane {

namespace {

constexpr std::string_view argument_names[] = {"temp", "nslice", "iodevn", "ithe1", "ithe2",
                                               "ax",   "az",     "ay",     "jmax"};

struct reader {
    int argc;
    char** argv;
    std::string_view program;
    std::string usage;

    [[noreturn]] void reject(int position, std::string_view what) const
    {
        std::string message(program);
        message += ": argument ";
        message += std::to_string(position);
        message += " (";
        message += argument_names[position - 1];
        message += ") ";
        message += what;
        textio::usage_error(message, usage);
    }

    std::string window(int position) const
    {
        if (position >= argc) reject(position, "is missing");
        return textio::argument_window(argc, argv, position);
    }

    double real(int position) const
    {
        const std::string w = window(position);
        const auto v = textio::read_real(w);
        if (!v) reject(position, "is not a number: '" + trimmed(w) + "'");
        return *v;
    }

    int integer(int position) const
    {
        const std::string w = window(position);
        const auto v = textio::read_int(w);
        if (!v) reject(position, "is not a whole number: '" + trimmed(w) + "'");
        return *v;
    }

    static std::string trimmed(const std::string& w)
    {
        const auto last = w.find_last_not_of(' ');
        return last == std::string::npos ? std::string() : w.substr(0, last + 1);
    }
};

}  // namespace

run_args read_command_line(int argc, char** argv, std::string_view program, plane_arguments planes)
{
    reader r{argc, argv, program, std::string(program) + " temp nslice iodevn ithe1 ithe2 ax az ay jmax"};

    run_args args;
    args.temp = r.real(1);
    args.nslice = r.integer(2);
    args.iodevn = r.integer(3);
    args.ithe1 = r.integer(4);
    args.ithe2 = r.integer(5);
    args.ax = r.real(6);
    args.az = r.real(7);
    args.ay = r.real(8);
    args.jmax = r.integer(9);

    if (args.jmax > jmax_limit) textio::stop("maxj is larger than the limit of 876");

    // beta = 1 / (kboltz temp) and tau = beta / nslice must be positive and
    // finite for the Boltzmann factors to mean anything.
    if (!(args.temp > 0.0) || !std::isfinite(args.temp))
        r.reject(1, "must be a positive temperature in kelvin");
    if (args.nslice < 1) r.reject(2, "must be at least 1");
    if (args.jmax < 0) r.reject(9, "must not be negative");
    if (planes == plane_arguments::checked && args.ithe1 <= args.ithe2 && args.ithe1 < 0)
        r.reject(4, "must not be negative when planes are requested (ithe1 <= ithe2)");

    args.ndim = 2 * args.jmax + 1;
    return args;
}

}  // namespace kelvane
