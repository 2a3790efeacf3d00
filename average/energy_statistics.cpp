#include "average/energy_statistics.hpp"

#include <cmath>

#include "textio/textio.hpp"

namespace average {

namespace {

// Columns of a record that are summed; column 1 is read and used nowhere.
constexpr int first_summed = 1;

std::string report_line(const std::array<const char*, reported_count>& labels, const columns& v)
{
    std::string line;
    for (int j = 0; j < reported_count; ++j) {
        line += labels[j];
        textio::put_f(line, v[reported_columns[j]], 20, 8);
    }
    return line;
}

}  // namespace

void add_to_sums(column_sums& sums, const record& r)
{
    sums.count += 1;
    for (int k = first_summed; k < record_width; ++k) sums.sum[k] += r[k];
}

columns column_means(const column_sums& sums)
{
    columns mean{};
    const double n = static_cast<double>(sums.count);
    for (int k = first_summed; k < record_width; ++k) mean[k] = sums.sum[k] / n;
    return mean;
}

void add_squared_deviations(columns& squares, const columns& mean, const record& r)
{
    for (int k = first_summed; k < record_width; ++k) {
        const double d = mean[k] - r[k];
        squares[k] += d * d;
    }
}

columns standard_deviations(const columns& squares, std::int64_t count)
{
    columns deviation{};
    const double n = static_cast<double>(count);
    for (int k = first_summed; k < record_width; ++k) deviation[k] = std::sqrt(squares[k] / n);
    return deviation;
}

double heat_capacity_offset(const run_settings& run)
{
    return ((1.5 * run.molecules) * run.slices) * run.temperature;
}

double heat_capacity(double total_energy, double estimator, const run_settings& run)
{
    const double d = heat_capacity_offset(run) - total_energy;
    return (d * d + estimator) / (run.temperature * run.temperature);
}

double heat_capacity(const columns& mean, const run_settings& run)
{
    return heat_capacity(mean[total_energy_column], mean[estimator_column], run);
}

std::string count_line(std::int64_t count)
{
    std::string line = " number of points  ";
    textio::put_i(line, count, 11);
    return line;
}

std::string means_line(const columns& mean)
{
    return report_line({"Ekin=", "K  Epot=", "K  Ekin+pot=", "K  Erot=", "K  Ekin+pot+rot=", "K  CvE= "},
                       mean);
}

std::string deviations_line(const columns& deviation)
{
    return report_line({"skin=", "K  spot=", "K  skin+pot=", "K  srot=", "K  skin+pot+rot=", "K  sCvE="},
                       deviation);
}

std::string heat_capacity_line(double cv)
{
    std::string line = "<Cv>=";
    textio::put_f(line, cv, 20, 8);
    line += " Kb";
    return line;
}

}  // namespace average
