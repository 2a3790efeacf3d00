#include "kelvane/run/command_line.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "process/process.hpp"
#include "textio/textio.hpp"

namespace kelvane {

namespace {

constexpr std::string_view argument_names[] = {"temp", "nslice", "iodevn", "ithe1", "ithe2",
                                               "ax",   "az",     "ay",     "jmax"};

// The synopsis after the program name, each argument with its unit: it is
// the line a user sees beside every complaint about an argument.
constexpr std::string_view synopsis =
    " temp(K) nslice iodevn ithe1(deg) ithe2(deg) ax(cm-1) az(cm-1) ay(cm-1) jmax";

constexpr std::string_view kelvane_summary =
    "Rotational levels, thermodynamics and density matrix of a rigid asymmetric top.\n";
constexpr std::string_view sodrel_summary =
    "Is the basis cutoff jmax large enough for kelvane at this temperature and time step?\n"
    "Silence on standard error: yes.  \"STOP too large contribution from emax\": raise jmax.\n";

constexpr std::string_view plane_options =
    "Before the nine arguments:\n"
    "  --fourier  evaluate each plane as a two-dimensional Fourier series: seconds\n"
    "             instead of minutes for full tables at large jmax; every sum is carried\n"
    "             in double-double and rounded once, more accurate than the default\n"
    "             term-by-term order, whose files it does not reproduce bit for bit\n"
    "  --hdf5 FILE  all planes into the one HDF5 file FILE (rho, eng and esq over\n"
    "             theta, phi, chi, with the run's arguments and report as attributes)\n"
    "             in place of four text files per plane; kelvane-export FILE writes\n"
    "             the text files from it, byte for byte\n";

constexpr std::string_view accuracy_option =
    "Before the nine arguments:\n"
    "  --accuracy TOL  instead of the verdict, one line \"accuracy TOL: jmax= J bound= B\":\n"
    "             the smallest jmax J that passes the cutoff test and whose left-out\n"
    "             levels provably change no value of rho, rho.eng or rho.esq by more\n"
    "             than TOL (0 < TOL <= 1) of its largest value, nor Z, E or <E^2> at tau\n"
    "             by more than TOL relative; B is that bound; the jmax argument is ignored\n";

constexpr std::string_view kelvane_planes =
    "  ithe1   first theta plane to tabulate, degrees, 0..180\n"
    "  ithe2   last theta plane, degrees; below ithe1: the report only, no files\n";
constexpr std::string_view sodrel_planes =
    "  ithe1 ithe2  read as whole numbers and otherwise ignored\n";

// What -h or --help prints: the usage line, then one line per argument.
std::string help_text(program p)
{
    const bool kelvane = computes_planes(p);
    const std::string_view name = program_name(p);
    std::string text = "usage: ";
    text += name;
    text += synopsis;
    text += '\n';
    text += kelvane ? kelvane_summary : sodrel_summary;
    text += "  temp    temperature, K, above 0\n"
            "  nslice  imaginary-time slices, at least 1; tau = 1/(0.6950356 temp nslice) cm\n"
            "  iodevn  K-parity blocks of the density: -1 both, 0 even K, 1 odd K\n";
    text += kelvane ? kelvane_planes : sodrel_planes;
    text += "  ax az ay  rotational constants of the body x, z and y axes, cm-1 (K along z)\n"
            "  jmax    highest J of the basis, 0..";
    text += std::to_string(jmax_limit);
    text += '\n';
    text += kelvane ? plane_options : accuracy_option;
    text += "Water: ";
    text += name;
    text += kelvane ? " 10 64 -1 44 46 27.877 14.512 9.285 32\n" : " 10 64 -1 0 0 27.877 14.512 9.285 17\n";
    text += "Manual page: ";
    text += name;
    text += "(1)\n";
    return text;
}

// The tolerance after --accuracy, at position `at`: a number above 0 and at
// most 1, a relative change of the table.
double accuracy_value(int argc, char** argv, int at, const std::string& usage)
{
    const char* text = at < argc ? argv[at] : nullptr;
    const auto v = text ? textio::parse_real(text) : std::nullopt;
    if (v && *v > 0.0 && *v <= 1.0) return *v;
    std::string message = "--accuracy needs a tolerance above 0 and at most 1";
    if (text) message += std::string(", not '") + textio::shown(text) + "'";
    throw process::usage_failure(message, usage);
}

struct reader {
    int argc;
    char** argv;
    int options;   // arguments before the nine
    std::string usage;

    [[noreturn]] void reject(int position, std::string_view what) const
    {
        std::string message = "argument ";
        message += std::to_string(position);
        message += " (";
        message += argument_names[position - 1];
        message += ") ";
        message += what;
        throw process::usage_failure(message, usage);
    }

    std::string window(int position) const
    {
        if (options + position >= argc) reject(position, "is missing");
        return textio::argument_window(argc, argv, options + position);
    }

    double real(int position) const
    {
        const std::string w = window(position);
        const auto v = textio::read_real(w);
        if (!v) reject(position, "is not a number: '" + textio::shown_window(w) + "'");
        return *v;
    }

    int integer(int position) const
    {
        const std::string w = window(position);
        const auto v = textio::read_int(w);
        if (!v) reject(position, "is not a whole number: '" + textio::shown_window(w) + "'");
        return *v;
    }
};

}  // namespace

std::string_view program_name(program p)
{
    switch (p) {
    case program::kelvane: return "kelvane";
    case program::kelvane_mpi: return "kelvane-mpi";
    case program::sodrel: return "sodrel";
    }
    return "kelvane";
}

int thread_count(const char* kelvane_threads, unsigned hardware)
{
    constexpr int most = 256;
    if (!kelvane_threads || !*kelvane_threads)
        return hardware == 0 ? 1 : static_cast<int>(std::min(hardware, static_cast<unsigned>(most)));
    const auto n = textio::parse_int(kelvane_threads);
    if (!n || *n < 1 || *n > most)
        throw process::run_failure("KELVANE_THREADS must be a whole number from 1 to 256, not \"" +
                                  textio::shown(kelvane_threads) + "\"");
    return static_cast<int>(*n);
}

run_args read_command_line(int argc, char** argv, program p)
{
    const std::string_view name = program_name(p);
    // -h or --help can never be a temperature, so taking it as a request
    // for help changes no run.
    if (argc > 1 && argv[1] != nullptr) {
        const std::string_view first = argv[1];
        if (first == "-h" || first == "--help") {
            process::out(help_text(p));
            throw process::stop_run{};
        }
    }

    const std::string usage = std::string(name) + std::string(synopsis);
    run_args args;
    // Options stand before the nine arguments; none of the nine can begin
    // with "--".
    int options = 0;
    for (; options + 1 < argc && argv[options + 1] && std::string_view(argv[options + 1]).starts_with("--");
         ++options) {
        const std::string_view option = argv[options + 1];
        if (option == "--fourier") {
            args.evaluation = plane_evaluation::fourier_series;
        } else if (option == "--hdf5") {
            // The name follows as the next word; a word that looks like an
            // option is a forgotten name, not a file to create.
            const char* file = options + 2 < argc ? argv[options + 2] : nullptr;
            if (!file || !*file || file[0] == '-')
                throw process::usage_failure(
                    file && *file ? "--hdf5 needs a file name, not '" + textio::shown(file) + "'"
                                  : "--hdf5 needs a file name",
                    usage);
            args.hdf5_file = file;
            ++options;
        } else if (option == "--accuracy" && p == program::sodrel) {
            ++options;   // its value follows it
            args.accuracy = accuracy_value(argc, argv, options + 1, usage);
        } else {
            throw process::usage_failure("unknown option '" + textio::shown(option) + "'",
                                        usage);
        }
    }
    reader r{argc, argv, options, usage};
    for (int k = 0; k < argc; ++k) {
        if (k > 0) args.command_line += ' ';
        if (argv[k]) args.command_line += argv[k];
    }

    args.temp = r.real(1);
    args.nslice = r.integer(2);
    args.iodevn = r.integer(3);
    args.ithe1 = r.integer(4);
    args.ithe2 = r.integer(5);
    args.ax = r.real(6);
    args.az = r.real(7);
    args.ay = r.real(8);
    args.jmax = r.integer(9);

    if (args.jmax > jmax_limit)
        throw process::stop_run{"maxj is larger than the limit of " + std::to_string(jmax_limit)};

    // beta = 1 / (kboltz temp) and tau = beta / nslice must be positive and
    // finite for the Boltzmann factors to mean anything.
    if (!(args.temp > 0.0) || !std::isfinite(args.temp))
        r.reject(1, "must be a positive temperature in kelvin");
    if (args.nslice < 1) r.reject(2, "must be at least 1");
    if (args.jmax < 0) r.reject(9, "must not be negative");
    if (computes_planes(p) && args.ithe1 <= args.ithe2 && args.ithe1 < 0)
        r.reject(4, "must not be negative when planes are requested (ithe1 <= ithe2)");
    if (args.accuracy > 0) {
        // The bound rests on levels that grow at least like the smallest
        // constant times J(J+1).
        if (!block_selection::of(args.iodevn)) r.reject(3, "must be -1, 0 or 1");
        const double constants[] = {args.ax, args.az, args.ay};
        for (int k = 0; k < 3; ++k)
            if (!(constants[k] > 0.0) || !std::isfinite(constants[k]))
                r.reject(6 + k, "must be positive for --accuracy: the levels must grow with J for any jmax to "
                                "bound what the basis leaves out");
    }

    args.ndim = 2 * args.jmax + 1;
    return args;
}

}  // namespace kelvane
