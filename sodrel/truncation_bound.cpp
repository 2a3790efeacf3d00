#include "sodrel/truncation_bound.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "kelvane/density/level_plan.hpp"
#include "kelvane/run/command_line.hpp"
#include "kelvane/run/run_args.hpp"
#include "kelvane/levels/level_blocks.hpp"
#include "kelvane/levels/level_stage.hpp"
#include "routines/storage.hpp"
#include "routines/tql.hpp"
#include "process/process.hpp"

namespace sodrel {

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double eps = std::numeric_limits<double>::epsilon() / 2;   // unit roundoff
constexpr int moments = 3;                                           // rho, rho eng, rho esq

// A sum of positive terms held as its logarithm: the sum is
// scaled * exp(top), top the largest logarithm added (-inf while empty).
struct log_sum {
    double top = -infinity;
    double scaled = 0;

    void add(double l)
    {
        if (l == -infinity || top == infinity) return;
        if (l == infinity) {
            top = infinity;
            scaled = 1;
            return;
        }
        if (l <= top) {
            scaled += std::exp(l - top);
        } else {
            scaled = scaled * std::exp(top - l) + 1.0;
            top = l;
        }
    }
    double log() const { return top == -infinity ? -infinity : top + std::log(scaled); }
};

// What one J adds for each moment m: upper bounds of its terms over all its
// levels and over the levels the density's cut may drop, lower bounds over
// the levels it surely keeps, as logarithms.
struct j_sums {
    std::array<double, moments> all{}, cut{}, kept{};
};

// The whole computation's rounding account: the largest magnitude mu of a
// logarithm's parts and the number of additions.
struct rounding_account {
    double mu = 0;
    double additions = 0;
    double factor_log() const { return 64 * eps * (mu + additions + 1); }
};

double log_or_minus_infinity(double x) { return x > 0 ? std::log(x) : -infinity; }

// The analytic bound on the levels of large J: every level of J of the
// blocks used at e_J = cmin J(J+1), at most 2J+1 of them for both parities,
// J+1 for one.
struct remainder_model {
    double cmin;
    double tau;
    bool both;
};

// log g_m(J), J >= 1.
double remainder_term_log(int j, int m, const remainder_model& r, rounding_account& acc)
{
    const double e = r.cmin * j * (j + 1.0);
    const double n = r.both ? 2 * j + 1.0 : j + 1.0;
    const double lw = std::log(kelvane::j_weight(j));
    const double l = lw + std::log(n) + m * std::log(e) - r.tau * e;
    acc.mu = std::max(acc.mu, std::fabs(lw) + std::log(n) + m * std::fabs(std::log(e)) + r.tau * e);
    return l;
}

// log of the bound g_m(J1) / (1 - q) on the sum over every J >= J1, q an
// upper bound of the ratio g_m(J1+1)/g_m(J1) (its exponent's rounding
// added), or +inf where the bound does not hold: J1 = 0, tau e_J1 < 2, or
// q >= 1.
double remainder_log(int j1, int m, const remainder_model& r, rounding_account& acc)
{
    if (j1 < 1 || !(r.tau * r.cmin * j1 * (j1 + 1.0) >= 2.0)) return infinity;
    const double here = remainder_term_log(j1, m, r, acc);
    const double next = remainder_term_log(j1 + 1, m, r, acc);
    const double log_ratio = next - here + 16 * eps * (acc.mu + 1);
    if (!(log_ratio < 0)) return infinity;
    return here - std::log(-std::expm1(log_ratio));
}

// Whether no level of any J >= J1 can pass the density's weight cut:
// w_J exp(-tau e_J) decreases from J1 on (its ratio is below that of g_0)
// and is below the cut at J1.
bool none_kept_from(int j1, const remainder_model& r, rounding_account& acc)
{
    if (remainder_log(j1, 0, r, acc) == infinity) return false;
    const double e = r.cmin * j1 * (j1 + 1.0);
    return std::log(kelvane::j_weight(j1)) - r.tau * e < std::log(kelvane::density_cut) - 1e-6;
}

}  // namespace

truncation_table truncation_bounds(const kelvane::run_args& args, double tol)
{
    const kelvane::time_steps steps = kelvane::finite_time_steps(args);
    const double tau = steps.tau;
    const kelvane::block_selection blocks_used = kelvane::block_selection::of(args.iodevn).value();
    const double cmin = std::min({args.ax, args.az, args.ay});
    const remainder_model remainder{cmin, tau, blocks_used.both()};
    const double csum = args.ax + args.az + args.ay;
    rounding_account acc;

    // No level of J <= 876 exceeds Cmax J(J+1) (H <= Cmax J^2): when even
    // that fails the cutoff test, no jmax up to the limit passes it.
    truncation_table table;
    const double cmax = std::max({args.ax, args.az, args.ay});
    const double top_level = cmax * kelvane::jmax_limit * (kelvane::jmax_limit + 1.0);
    if (!kelvane::passes_cutoff(top_level, steps)) return table;
    // The remainder holds from some J on, and then at every larger J; when
    // it does not hold past the last J solved exactly, no bound is finite.
    for (int m = 0; m < moments; ++m)
        if (remainder_log(last_exact_j + 1, m, remainder, acc) == infinity) {
            table.bounded = false;
            return table;
        }

    std::vector<j_sums> per_j;
    std::array<kelvane::block_work, 2> work;
    routines::storage storage = routines::storage::taking();
    for (kelvane::block_work& w : work) kelvane::reserve_block_work(storage, w, last_exact_j + 1, false);
    std::array<log_sum, moments> kept_so_far;
    double emax = 0;
    for (int j = 0;; ++j) {
        const std::array<kelvane::block, 2> blocks = {kelvane::make_block(j, kelvane::parity::even),
                                                      kelvane::make_block(j, kelvane::parity::odd)};
        const std::size_t count = j == 0 ? 1 : 2;   // J = 0 has no odd level
        if (!kelvane::solve_blocks_tridiagonal(std::span(blocks.data(), count), args, false,
                                               std::span(work.data(), count)))
            throw process::stop_run{"  FAIL"};

        const double lw = std::log(kelvane::j_weight(j));
        const double delta = 1e-9 * csum * (j * (j + 1.0) + 1.0);
        std::array<log_sum, moments> all, cut, kept;
        for (std::size_t b = 0; b < count; ++b) {
            for (int i = 0; i < blocks[b].n; ++i) {
                const double e = work[b].d[static_cast<std::size_t>(i)];
                kelvane::require_finite_level(e);
                emax = j == 0 && b == 0 && i == 0 ? e : routines::sort_carry(emax, e);
                if (!blocks_used.has(blocks[b].par)) continue;
                const double high = e + delta;
                const double low = std::max(e - delta, 0.0);
                const bool may_be_cut =
                    kelvane::j_weight(j) * std::exp(-tau * high) < kelvane::density_cut * (1 + 1e-6);
                const double log_high = std::log(high);
                const double log_low = log_or_minus_infinity(low);
                acc.mu = std::max(acc.mu, std::fabs(lw) + 2 * std::fabs(log_high) + tau * high +
                                              (low > 0 ? 2 * std::fabs(log_low) : 0.0));
                for (int m = 0; m < moments; ++m) {
                    const double upper = lw + m * log_high - tau * low;
                    all[m].add(upper);
                    if (may_be_cut)
                        cut[m].add(upper);
                    else
                        kept[m].add(m == 0 ? lw - tau * high : lw + m * log_low - tau * high);
                }
                acc.additions += 3;
            }
        }
        j_sums s;
        for (int m = 0; m < moments; ++m) {
            s.all[m] = all[m].log();
            s.cut[m] = cut[m].log();
            s.kept[m] = kept[m].log();
            kept_so_far[m].add(s.kept[m]);
        }
        per_j.push_back(s);

        if (table.first_passing < 0) {
            if (kelvane::passes_cutoff(emax, steps))
                table.first_passing = j;
            else if (j == kelvane::jmax_limit)
                return {};
        }
        // Enough once the cutoff test has passed and the remainder beyond J
        // is negligible against what is kept, or once a moment has no kept
        // level and none beyond J can be kept: its table is then empty at
        // every jmax, and the bound infinite.
        bool remainder_small = true;
        bool moment_empty = false;
        for (int m = 0; m < moments; ++m) {
            remainder_small = remainder_small && remainder_log(j + 1, m, remainder, acc) <=
                                                     std::log(1e-3 * tol) + kept_so_far[m].log();
            moment_empty = moment_empty || kept_so_far[m].log() == -infinity;
        }
        const bool settled =
            remainder_small || (moment_empty && none_kept_from(j + 1, remainder, acc));
        if ((table.first_passing >= 0 && settled) || j == last_exact_j) break;
    }

    const int jtop = static_cast<int>(per_j.size()) - 1;
    acc.additions += 4.0 * moments * (jtop + 1);   // the prefix and suffix sums below
    std::array<double, moments> beyond;   // the sum over J > j, from the top down
    for (int m = 0; m < moments; ++m) beyond[m] = remainder_log(jtop + 1, m, remainder, acc);
    const int jlast = std::min(jtop, kelvane::jmax_limit);
    std::vector<std::array<double, moments>> beyond_j(static_cast<std::size_t>(jtop) + 1);
    for (int j = jtop; j >= 0; --j) {
        beyond_j[static_cast<std::size_t>(j)] = beyond;
        for (int m = 0; m < moments; ++m) {
            log_sum t;
            t.add(beyond[m]);
            t.add(per_j[static_cast<std::size_t>(j)].all[m]);
            beyond[m] = t.log();
        }
    }
    std::array<log_sum, moments> kept, cut;
    const double margin = acc.factor_log();
    for (int j = 0; j <= jlast; ++j) {
        double worst = -infinity;
        for (int m = 0; m < moments; ++m) {
            kept[m].add(per_j[static_cast<std::size_t>(j)].kept[m]);
            cut[m].add(per_j[static_cast<std::size_t>(j)].cut[m]);
            log_sum left_out = cut[m];
            left_out.add(beyond_j[static_cast<std::size_t>(j)][m]);
            const double p = kept[m].log();
            const double ratio = p == -infinity ? infinity : left_out.log() - p;
            worst = std::max(worst, ratio);
        }
        table.bound.push_back(std::exp(worst + margin));
    }
    return table;
}

accuracy_answer accurate_jmax(const kelvane::run_args& args, double tol)
{
    const truncation_table table = truncation_bounds(args, tol);
    accuracy_answer answer;
    answer.first_passing = table.first_passing;
    answer.bounded = table.bounded;
    answer.best_bound = infinity;
    if (table.first_passing < 0) return answer;
    for (int j = table.first_passing; j < static_cast<int>(table.bound.size()); ++j) {
        const double b = table.bound[static_cast<std::size_t>(j)];
        if (b < answer.best_bound) {
            answer.best_bound = b;
            answer.best_jmax = j;
        }
        if (b <= tol) {
            answer.jmax = j;
            answer.bound = b;
            break;
        }
    }
    return answer;
}

}  // namespace sodrel
