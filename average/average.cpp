// average: means, standard deviations and heat capacity of the energy columns
// of a simulation's energy file "wd.eng", after skipping its first records.
//
// The file is read twice and no record is kept: the first pass gives the
// count and the means, the second the deviations from those means.  Both
// passes read the same opening of the file, which must be a regular file
// that nothing writes to meanwhile.  Asked for, the first pass also blocks the
// records for the error bars of the means, in memory that does not grow with
// the file.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "average/blocking.hpp"
#include "average/energy_file.hpp"
#include "average/energy_statistics.hpp"
#include "average/error_report.hpp"
#include "average/record_reader.hpp"
#include "process/process.hpp"
#include "textio/textio.hpp"

namespace {

constexpr const char* file_name = "wd.eng";
constexpr const char* usage = "average [--temp T] [--nslice P] [--molecules N] [--errors] [--blocking] skip(records)";
constexpr const char* help =
    "usage: average [--temp T] [--nslice P] [--molecules N] [--errors] [--blocking] skip(records)\n"
    "Means and standard deviations of the energy columns of wd.eng (K) and a heat capacity (kB).\n"
    "  skip           number of leading records of wd.eng to pass over, a whole number;\n"
    "                 0 or negative uses every record\n"
    "  --temp T       temperature of the run in K (default 4.0)    } these three enter\n"
    "  --nslice P     imaginary-time slices (default 256)          } the heat capacity\n"
    "  --molecules N  molecules (default 1)                        } only\n"
    "  --errors       after the report, the error of each mean from blocking the\n"
    "                 correlated records, and the heat capacity's by a jackknife\n"
    "  --blocking     the standard errors at every block size (plot-blocking draws them)\n"
    "Options go before skip. Reads wd.eng in the working directory, ten numbers per\n"
    "record, twice: it must be a regular file that nothing writes to meanwhile (average\n"
    "a copy of a file still being written).\n"
    "Manual page: average(1)\n";

std::string at_line(std::int64_t line)
{
    return " (line " + std::to_string(line) + ")";
}

[[noreturn]] void cannot_read(const average::energy_file& file)
{
    throw process::run_failure(std::string("cannot read ") + file_name + ": " + file.error());
}

void close_checked(average::energy_file& file)
{
    if (!file.close()) throw process::run_failure(std::string("cannot close ") + file_name + ": " + file.error());
}

// Opens the file for both passes; a file that cannot be read twice is refused
// before anything is read.
void open_checked(average::energy_file& file)
{
    if (file.is_open()) return;
    if (file.is_directory())
        throw process::run_failure(std::string(file_name) + " is a directory, not a regular file");
    if (!file.not_regular().empty())
        throw process::run_failure(std::string(file_name) + " is " + file.not_regular() +
                                   ", not a regular file; it is read twice, so save the data in a regular "
                                   "file first");
    throw process::run_failure(std::string("cannot open ") + file_name + ": " + file.error());
}

// Whether the file is as it was opened: its size and modification time.
bool unchanged(average::energy_file& file)
{
    const std::optional<average::file_stamp> now = file.stamp_now();
    if (!now) cannot_read(file);
    return *now == file.stamp_at_opening();
}

// Passes over `skip` records, one number each; every failure ends the program.
void skip_records(average::record_reader& reader, const average::energy_file& file, std::int32_t skip)
{
    for (std::int32_t k = 1; k <= skip; ++k) {
        switch (reader.skip_record()) {
        case average::read_status::record:
            break;
        case average::read_status::end_of_file:
        case average::read_status::incomplete:
            throw process::run_failure(std::string(file_name) + " holds fewer than " + std::to_string(skip) +
                               " records to skip; it ends after " + std::to_string(k - 1));
        case average::read_status::unreadable:
            throw process::run_failure("skipped record " + std::to_string(k) + " of " + file_name +
                               " does not start with a number" + at_line(reader.stop_line()));
        case average::read_status::failure:
            cannot_read(file);
        }
    }
}

// What the command line asks for.
struct command {
    average::run_settings run;
    bool errors = false;
    bool blocking = false;
    std::int32_t skip = 0;
};

// Options before the skip count, then the skip count; what follows it is
// ignored, as it always was, with a note where it looks like an option.
command read_command(int argc, char** argv)
{
    command c;
    int k = 1;
    for (; k < argc; ++k) {
        const std::string_view arg = argv[k];
        // -h or --help can never be a skip count, so taking it as a request
        // for help changes no run.
        if (arg == "-h" || arg == "--help") {
            process::out(help);
            throw process::stop_run{};
        }
        if (arg.substr(0, 2) != "--") break;
        const std::size_t eq = arg.find('=');
        const std::string_view name = arg.substr(0, eq);
        if (name == "--errors" || name == "--blocking") {
            if (eq != std::string_view::npos)
                throw process::usage_failure("option " + std::string(name) + " takes no value", usage);
            (name == "--errors" ? c.errors : c.blocking) = true;
            continue;
        }
        if (name != "--temp" && name != "--nslice" && name != "--molecules")
            throw process::usage_failure("unknown option '" + textio::shown(arg) + "'", usage);
        std::string window;
        if (eq != std::string_view::npos) {
            window = textio::argument_window(arg.substr(eq + 1));
        } else {
            if (k + 1 >= argc) throw process::usage_failure("option " + std::string(name) + " needs a value", usage);
            window = textio::argument_window(argc, argv, ++k);
        }
        if (name == "--temp") {
            const std::optional<double> t = textio::read_real(window);
            if (!t || !(*t > 0))
                throw process::usage_failure("--temp is not a positive temperature in K: '" + textio::shown_window(window) + "'",
                                             usage);
            c.run.temperature = *t;
        } else {
            const std::optional<std::int32_t> v = textio::read_int(window);
            if (!v || *v <= 0)
                throw process::usage_failure(std::string(name) + " is not a positive whole number: '" +
                                                 textio::shown_window(window) + "'",
                                             usage);
            (name == "--nslice" ? c.run.slices : c.run.molecules) = *v;
        }
    }
    const std::string position = "argument " + std::to_string(k) + " (skip)";
    if (k >= argc) throw process::usage_failure(position + " is missing", usage);
    const std::string window = textio::argument_window(argc, argv, k);
    const std::optional<std::int32_t> skip = textio::read_int(window);
    if (!skip) throw process::usage_failure(position + " is not a whole number: '" + textio::shown_window(window) + "'", usage);
    c.skip = *skip;
    for (int j = k + 1; j < argc; ++j)
        if (std::string_view(argv[j]).substr(0, 2) == "--")
            std::fprintf(stderr, "average: '%s' after the skip count is ignored; options go before it\n",
                         textio::shown(argv[j]).c_str());
    return c;
}

// The whole program; its endings are thrown to main.
void average_run(int argc, char** argv)
{
    const command c = read_command(argc, argv);
    // The blocking sums, only when the error analysis is asked for.
    std::unique_ptr<average::blocking_sums> blocking;
    if (c.errors || c.blocking) blocking = std::make_unique<average::blocking_sums>();

    // First pass: count and sums.  The file is opened for reading only: a
    // missing file is an error, never created.
    average::energy_file file(file_name);
    open_checked(file);
    const auto source = [&file](char* data, std::size_t size) { return file(data, size); };
    average::column_sums sums;
    {
        average::record_reader reader(source);
        skip_records(reader, file, c.skip);

        average::record r{};
        average::read_status status;
        while ((status = reader.read_record(r)) == average::read_status::record) {
            average::add_to_sums(sums, r);
            if (blocking) average::add_to_blocking(*blocking, r);
        }
        if (status == average::read_status::failure) cannot_read(file);

        // Means of a file that was written to while it was read (a simulation
        // still running) would belong to no state of it: nothing is reported.
        if (!unchanged(file))
            throw process::run_failure(std::string(file_name) +
                                       " changed while it was read (its size or modification time changed); "
                                       "to average a file that is still being written, average a copy");

        // The records before the first one that cannot be read are used; the
        // note says where that was, so that a damaged file does not pass
        // unnoticed.
        if (status == average::read_status::unreadable)
            std::fprintf(stderr, "average: reading of %s stopped at line %lld, which holds no record of ten numbers; "
                                 "%lld records used\n",
                         file_name, static_cast<long long>(reader.stop_line()), static_cast<long long>(sums.count));
        if (status == average::read_status::incomplete)
            std::fprintf(stderr, "average: %s ends inside the record that begins at line %lld; %lld records used\n",
                         file_name, static_cast<long long>(reader.stop_line()), static_cast<long long>(sums.count));
    }
    process::out_line(average::count_line(sums.count));
    const average::columns mean = average::column_means(sums);
    process::out_line(average::means_line(mean));

    // Second pass: exactly the records counted, from the start of the same
    // opening of the file.
    average::columns squares{};
    {
        if (!file.rewind()) throw process::run_failure(std::string("cannot read ") + file_name + " again: " + file.error());
        average::record_reader reader(source);
        skip_records(reader, file, c.skip);

        average::record r{};
        for (std::int64_t k = 1; k <= sums.count; ++k) {
            const average::read_status status = reader.read_record(r);
            if (status == average::read_status::failure) cannot_read(file);
            if (status != average::read_status::record)
                throw process::run_failure(std::string(file_name) + " changed while it was read: record " +
                                   std::to_string(k) + " can no longer be read" + at_line(reader.stop_line()));
            average::add_squared_deviations(squares, mean, r);
        }
        if (!unchanged(file))
            throw process::run_failure(std::string(file_name) +
                                       " changed during its second reading (its size or modification time "
                                       "changed); the count and means above are those of the file before");
        close_checked(file);
    }
    process::out_line(average::deviations_line(average::standard_deviations(squares, sums.count)));
    process::out_line(average::heat_capacity_line(average::heat_capacity(mean, c.run)));

    if (!blocking) return;
    const average::error_analysis analysis = average::analyse_errors(*blocking, c.run);
    if (c.errors) {
        process::out_line("");
        for (const std::string& line : average::error_table(analysis)) process::out_line(line);
    }
    if (c.blocking) {
        process::out_line("");
        for (const std::string& line : average::blocking_table(analysis)) process::out_line(line);
    }
    if (c.errors) {
        // After the tables they are about, in a terminal too.
        process::flush_out();
        for (const std::string& note : average::error_notes(analysis))
            std::fprintf(stderr, "average: %s\n", note.c_str());
    }
}

}  // namespace

int main(int argc, char** argv)
{
    return process::run_main("average", [&] { average_run(argc, argv); });
}
