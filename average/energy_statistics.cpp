#include "average/energy_statistics.hpp"

#include <cmath>

#include "textio/textio.hpp"

namespace average {

namespace {

// Columns of a record that are summed; column 1 is read and used nowhere.
constexpr int first_summed = 1;

// The fixed settings of the heat capacity: the whole numbers 1 and 256 and the
// temperature of the runs, in kelvin.
constexpr std::int32_t setting_one = 1;
constexpr std::int32_t setting_256 = 256;
constexpr double temperature = 4.0;

// Columns shown by the means and deviations lines, in their order.
constexpr std::array<int, 6> shown = {1, 2, 3, 4, 6, 7};

std::string report_line(const std::array<const char*, 6>& labels, const columns& v)
{
    std::string line;
    for (std::size_t j = 0; j < shown.size(); ++j) {
        line += labels[j];
        textio::put_f(line, v[shown[j]], 20, 8);
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

double heat_capacity(const columns& mean)
{
    const double c = ((1.5 * setting_one) * setting_256) * temperature;
    const double d = c - mean[6];
    return (d * d + mean[7]) / (temperature * temperature);
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
