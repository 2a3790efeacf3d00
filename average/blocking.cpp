#include "average/blocking.hpp"

#include <cmath>
#include <limits>

namespace average {

namespace {

using quad = __float128;

constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();

inline void add(compensated_sum& s, double v)
{
    const double t = s.sum + v;
    const double z = t - s.sum;
    s.carry += (s.sum - (t - z)) + (v - z);
    s.sum = t;
}

inline quad value(const compensated_sum& s) { return static_cast<quad>(s.sum) + s.carry; }

constexpr int total = 4;       // the total energy among the reported columns
constexpr int estimator = 5;   // the heat-capacity estimator
static_assert(reported_columns[total] == total_energy_column && reported_columns[estimator] == estimator_column);

// One block mean, about the level's origin, into its level.
void add_block(level_sums& l, const std::array<double, reported_count>& d)
{
    for (int j = 0; j < reported_count; ++j) {
        add(l.s1[j], d[j]);
        add(l.s2[j], d[j] * d[j]);
    }
    const double a2 = d[total] * d[total];
    add(l.a3, a2 * d[total]);
    add(l.a4, a2 * a2);
    add(l.ac, d[total] * d[estimator]);
    add(l.a2c, a2 * d[estimator]);
    ++l.blocks;
}

// Central sums of one level: the mean of its block means about the level's
// origin, and the sum of their squared deviations from it.
struct central_sums {
    quad n = 0;
    quad mean = 0;
    quad m2 = 0;
};

central_sums central(const level_sums& l, int j)
{
    central_sums c;
    c.n = static_cast<quad>(l.blocks);
    const quad s1 = value(l.s1[j]);
    c.mean = s1 / c.n;
    c.m2 = value(l.s2[j]) - s1 * c.mean;
    if (c.m2 < 0) c.m2 = 0;
    return c;
}

level_error error_of(quad m2, quad n)
{
    if (n < 2) return {not_a_number, not_a_number};
    const double se = std::sqrt(static_cast<double>(m2 / n / (n - 1)));
    return {se, se / std::sqrt(2.0 * static_cast<double>(n - 1))};
}

// The jackknife error of the heat capacity over the blocks of one level.
level_error heat_capacity_error(const level_sums& l, quad total_origin, const run_settings& run)
{
    const quad n = static_cast<quad>(l.blocks);
    if (l.blocks < 2) return {not_a_number, not_a_number};
    const quad a1 = value(l.s1[total]), a2 = value(l.s2[total]), a3 = value(l.a3), a4 = value(l.a4);
    const quad c1 = value(l.s1[estimator]), c2 = value(l.s2[estimator]);
    const quad ac = value(l.ac), a2c = value(l.a2c);
    const quad ma = a1 / n, mc = c1 / n;

    const quad sdd = a2 - a1 * ma;
    const quad sde = ac - ma * c1;
    const quad see = c2 - c1 * mc;
    const quad sd3 = a3 - 3 * ma * a2 + 2 * n * ma * ma * ma;
    const quad sd2e = a2c - 2 * ma * ac + ma * ma * c1 - mc * sdd;
    const quad sd4 = a4 - 4 * ma * a3 + 6 * ma * ma * a2 - 3 * n * ma * ma * ma * ma;

    const quad d = static_cast<quad>(heat_capacity_offset(run)) - (total_origin + ma);
    const quad m = n - 1;
    const quad u2 = sdd / (m * m), uw = sde / (m * m), w2 = see / (m * m);
    const quad u3 = sd3 / (m * m * m), u2w = sd2e / (m * m * m), u4 = sd4 / (m * m * m * m);
    quad s = 4 * d * d * u2 - 4 * d * uw + w2 + 4 * d * u3 - 2 * u2w + u4 - u2 * u2 / n;
    if (s < 0) s = 0;
    const quad t2 = static_cast<quad>(run.temperature) * run.temperature;
    const double se = std::sqrt(static_cast<double>((n - 1) / n * s / (t2 * t2)));
    return {se, se / std::sqrt(2.0 * static_cast<double>(n - 1))};
}

}  // namespace

void add_to_blocking(blocking_sums& sums, const record& r)
{
    std::array<double, reported_count> v;
    if (sums.count == 0)
        for (int j = 0; j < reported_count; ++j) sums.origin[j] = r[reported_columns[j]];
    for (int j = 0; j < reported_count; ++j) v[j] = r[reported_columns[j]] - sums.origin[j];
    ++sums.count;

    // A block completed at level k pairs with the one waiting there, and
    // their mean goes up to level k + 1, about that level's origin: the mean
    // of the first pair.
    for (int k = 0;; ++k) {
        level_sums& l = sums.level[k];
        add_block(l, v);
        if (k + 1 > sums.levels) sums.levels = k + 1;
        if (!l.waiting) {
            l.waiting_mean = v;
            l.waiting = true;
            return;
        }
        l.waiting = false;
        for (int j = 0; j < reported_count; ++j) v[j] = (l.waiting_mean[j] + v[j]) * 0.5;
        if (l.blocks == 2) l.step = v;
        for (int j = 0; j < reported_count; ++j) v[j] -= l.step[j];
    }
}

int chosen_level(const std::vector<blocking_level>& levels, int q, std::int64_t count)
{
    if (levels.empty()) return -1;
    const double se0 = levels[0].quantity[q].error;
    if (!std::isfinite(se0)) return -1;
    const double two_n = 2.0 * static_cast<double>(count);
    for (std::size_t k = 0; k < levels.size() && levels[k].blocks >= min_blocks; ++k) {
        // A quantity that does not vary has the error 0 at every level.
        if (se0 == 0) return static_cast<int>(k);
        const double se = levels[k].quantity[q].error;
        if (!std::isfinite(se)) return -1;
        const double ratio = se / se0;
        const double b = static_cast<double>(levels[k].block_size);
        if (b * b * b >= two_n * (ratio * ratio) * (ratio * ratio)) return static_cast<int>(k);
    }
    return -1;
}

error_analysis analyse_errors(const blocking_sums& sums, const run_settings& run)
{
    error_analysis a;
    a.count = sums.count;
    quad total_origin = sums.origin[total];   // of level k, about zero
    for (int k = 0; k < sums.levels && sums.level[k].blocks >= 2; ++k) {
        const level_sums& l = sums.level[k];
        if (k > 0) total_origin += sums.level[k - 1].step[total];
        blocking_level bl;
        bl.block_size = std::int64_t{1} << k;
        bl.blocks = l.blocks;
        for (int j = 0; j < reported_count; ++j) {
            const central_sums c = central(l, j);
            bl.quantity[j] = error_of(c.m2, c.n);
        }
        bl.quantity[heat_capacity_quantity] = heat_capacity_error(l, total_origin, run);
        a.levels.push_back(bl);
    }

    // Means over every record: level 0 holds each record as a block.
    const quad n = static_cast<quad>(sums.count);
    std::array<double, reported_count> mean;
    for (int j = 0; j < reported_count; ++j) {
        if (sums.count == 0) {
            mean[j] = not_a_number;
            a.estimate[j].mean = not_a_number;
            a.estimate[j].naive_error = not_a_number;
            continue;
        }
        const central_sums c = central(sums.level[0], j);
        mean[j] = static_cast<double>(static_cast<quad>(sums.origin[j]) + c.mean);
        a.estimate[j].mean = mean[j];
        a.estimate[j].naive_error = std::sqrt(static_cast<double>(c.m2 / n)) / std::sqrt(static_cast<double>(n));
    }
    error_estimate& cv = a.estimate[heat_capacity_quantity];
    cv.mean = heat_capacity(mean[total], mean[estimator], run);
    cv.naive_error = a.levels.empty() ? not_a_number : a.levels[0].quantity[heat_capacity_quantity].error;

    for (int q = 0; q < error_quantities; ++q) {
        error_estimate& e = a.estimate[q];
        const int k = chosen_level(a.levels, q, sums.count);
        e.plateau = k >= 0 && std::isfinite(e.mean);
        if (!e.plateau) {
            e.error = e.error_of_error = e.tau = e.effective_samples = not_a_number;
            e.block_size = 0;
            continue;
        }
        const level_error& at = a.levels[k].quantity[q];
        const double se0 = a.levels[0].quantity[q].error;
        e.error = at.error;
        e.error_of_error = at.error_of_error;
        e.block_size = a.levels[k].block_size;
        const double ratio = se0 > 0 ? at.error / se0 : 1.0;
        e.tau = 0.5 * ratio * ratio;
        e.effective_samples = static_cast<double>(sums.count) / (2.0 * e.tau);
    }
    return a;
}

}  // namespace average
