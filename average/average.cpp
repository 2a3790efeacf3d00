// average: means, standard deviations and heat capacity of the energy columns
// of a simulation's energy file "wd.eng", after skipping its first records.
//
// The file is read twice and no record is kept: the first pass gives the
// count and the means, the second the deviations from those means.

#include <cstdint>
#include <cstdio>
#include <new>
#include <string>
#include <string_view>

#include "average/energy_statistics.hpp"
#include "average/record_reader.hpp"
#include "process/process.hpp"
#include "textio/textio.hpp"

namespace {

constexpr const char* file_name = "wd.eng";
constexpr const char* usage = "average skip(records)";
constexpr const char* help =
    "usage: average skip(records)\n"
    "Means and standard deviations of the energy columns of wd.eng (K) and a heat capacity (kB).\n"
    "  skip  number of leading records of wd.eng to pass over, a whole number;\n"
    "        0 or negative uses every record\n"
    "Reads wd.eng in the working directory, ten numbers per record.\n"
    "Manual page: average(1)\n";

std::string at_line(std::int64_t line)
{
    return " (line " + std::to_string(line) + ")";
}

[[noreturn]] void cannot_read(const average::file_source& file)
{
    throw process::run_failure(std::string("cannot read ") + file_name + ": " + file.error());
}

void close_checked(average::file_source& file)
{
    if (!file.close()) throw process::run_failure(std::string("cannot close ") + file_name + ": " + file.error());
}

// Passes over `skip` records, one number each; every failure ends the program.
void skip_records(average::record_reader& reader, const average::file_source& file, std::int32_t skip)
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

// The whole program; its endings are thrown to main.
void average_run(int argc, char** argv)
{
    // -h or --help can never be a skip count, so taking it as a request for
    // help changes no run.
    if (argc > 1 && argv[1] != nullptr) {
        const std::string_view first = argv[1];
        if (first == "-h" || first == "--help") {
            process::out(help);
            throw process::stop_run{};
        }
    }
    if (argc < 2) throw process::usage_failure("argument 1 (skip) is missing", usage);
    const std::string window = textio::argument_window(argc, argv, 1);
    const std::optional<std::int32_t> skip = textio::read_int(window);
    if (!skip)
        throw process::usage_failure("argument 1 (skip) is not a whole number: '" +
                                         textio::shown(window.substr(0, window.find_last_not_of(' ') + 1)) + "'",
                                     usage);

    // First pass: count and sums.  The file is opened for reading only: a
    // missing file is an error, never created.
    average::column_sums sums;
    {
        average::file_source file(file_name);
        if (!file.is_open()) throw process::run_failure(std::string("cannot open ") + file_name + ": " + file.error());
        average::record_reader reader([&file](char* data, std::size_t size) { return file(data, size); });
        skip_records(reader, file, *skip);

        average::record r{};
        average::read_status status;
        while ((status = reader.read_record(r)) == average::read_status::record) average::add_to_sums(sums, r);

        // The records before the first one that cannot be read are used; the
        // note says where that was, so that a damaged file does not pass
        // unnoticed.
        if (status == average::read_status::failure) cannot_read(file);
        if (status == average::read_status::unreadable)
            std::fprintf(stderr, "average: reading of %s stopped at line %lld, which holds no record of ten numbers; "
                                 "%lld records used\n",
                         file_name, static_cast<long long>(reader.stop_line()), static_cast<long long>(sums.count));
        if (status == average::read_status::incomplete)
            std::fprintf(stderr, "average: %s ends inside the record that begins at line %lld; %lld records used\n",
                         file_name, static_cast<long long>(reader.stop_line()), static_cast<long long>(sums.count));

        process::out_line(average::count_line(sums.count));
        close_checked(file);
    }
    const average::columns mean = average::column_means(sums);
    process::out_line(average::means_line(mean));

    // Second pass: exactly the records counted, from the start of the file.
    average::columns squares{};
    {
        average::file_source file(file_name);
        if (!file.is_open())
            throw process::run_failure(std::string("cannot open ") + file_name + " again: " + file.error());
        average::record_reader reader([&file](char* data, std::size_t size) { return file(data, size); });
        skip_records(reader, file, *skip);

        average::record r{};
        for (std::int64_t k = 1; k <= sums.count; ++k) {
            const average::read_status status = reader.read_record(r);
            if (status == average::read_status::failure) cannot_read(file);
            if (status != average::read_status::record)
                throw process::run_failure(std::string(file_name) + " changed while it was read: record " +
                                   std::to_string(k) + " can no longer be read" + at_line(reader.stop_line()));
            average::add_squared_deviations(squares, mean, r);
        }
        close_checked(file);
    }
    process::out_line(average::deviations_line(average::standard_deviations(squares, sums.count)));
    process::out_line(average::heat_capacity_line(average::heat_capacity(mean)));
}

}  // namespace

int main(int argc, char** argv)
{
    return process::run_main("average", [&] { average_run(argc, argv); });
}
