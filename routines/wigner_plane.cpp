#include "routines/wigner_plane.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "routines/parallel.hpp"

namespace routines {

namespace {

// Beyond this the factors are summed afresh for every plane.  Their number
// grows like jmax^4: some 8 MB at jmax = 40, the cap near jmax = 80.
constexpr std::size_t factor_cap = std::size_t{128} << 20;

std::size_t block_index(int j, parity p) { return static_cast<std::size_t>(2 * j + parity_index(p)); }

// The starts of the kept factors of every block, or nothing when they would
// take more than factor_cap.
std::vector<std::int64_t> factor_layout(int jmax)
{
    if (jmax > 100) return {};
    std::vector<std::int64_t> start{0};
    for (int j = 0; j <= jmax; ++j)
        for (const parity p : both_parities) start.push_back(start.back() + block_factor_count(j, p));
    if (static_cast<std::size_t>(start.back()) * sizeof(__float128) > factor_cap) return {};
    return start;
}

}  // namespace

std::int64_t block_offset(int j, parity p)
{
    std::int64_t s = 0;
    for (int jj = 0; jj < j; ++jj) {
        const std::int64_t n = block_order(jj, p);
        s += n * n;
    }
    return s;
}

void reserve_wigner_plane(wigner_plane& w, int jmax)
{
    w.jmax = jmax;
    w.limit = wigd_limit_for(jmax);
    for (const parity p : both_parities) {
        const auto size = static_cast<std::size_t>(block_table_size(jmax, p));
        w.table[parity_index(p)].resize(size);
        w.from_recursion[parity_index(p)].resize(size);
    }
    w.marked.assign(2 * static_cast<std::size_t>(jmax + 1), 0);
    w.sweep_work.resize(wigd_work_size(jmax));
    w.lnf.resize(wigd_lnf_size(jmax));
    fill_wigd_lnf(jmax, w.lnf);
    w.cos_pow.resize(wigd_pow_size(jmax));
    w.nsin_pow.resize(wigd_pow_size(jmax));
    w.factor_start = factor_layout(jmax);
    // A NaN marks a factor not made yet.
    if (!w.factor_start.empty()) w.factors.assign(static_cast<std::size_t>(w.factor_start.back()), nanq(""));
}

std::size_t wigner_plane_bytes(int jmax)
{
    const auto values = static_cast<std::size_t>(block_table_size(jmax, parity::even) +
                                                  block_table_size(jmax, parity::odd));
    std::size_t b = values * (sizeof(double) + sizeof(std::uint8_t)) +
                    2 * static_cast<std::size_t>(jmax + 1) * sizeof(std::int32_t) +
                    wigd_work_size(jmax) * sizeof(double) + wigd_lnf_size(jmax) * sizeof(double) +
                    2 * wigd_pow_size(jmax) * sizeof(__float128);
    const std::vector<std::int64_t> layout = factor_layout(jmax);
    if (!layout.empty())
        b += static_cast<std::size_t>(layout.back()) * sizeof(__float128);
    return b;
}

void fill_wigner_block(const wigd_tables& tables, int j, parity p, double* out, double* size_out)
{
    const int n = block_order(j, p);
    const int k0 = block_first_k(j, p);
    for (int k1 = 0; k1 < n; ++k1)
        for (int k2 = 0; k2 < n; ++k2) {
            const int at = k1 * n + k2;
            if (size_out) {
                __float128 size = 0;
                out[at] = wigd_tabulated(j, k0 + 2 * k1, k0 + 2 * k2, tables, &size);
                size_out[at] = static_cast<double>(size);
            } else {
                out[at] = wigd_tabulated(j, k0 + 2 * k1, k0 + 2 * k2, tables);
            }
        }
}

std::int64_t block_factor_count(int j, parity p)
{
    const int n = block_order(j, p);
    const int k0 = block_first_k(j, p);
    std::int64_t count = 0;
    for (int k1 = 0; k1 < n; ++k1)
        for (int k2 = 0; k2 < n; ++k2) count += wigd_term_count(j, k0 + 2 * k1, k0 + 2 * k2);
    return count;
}

void fill_block_factors(std::span<const double> lnf, int j, parity p, __float128* factors)
{
    const int n = block_order(j, p);
    const int k0 = block_first_k(j, p);
    for (int k1 = 0; k1 < n; ++k1)
        for (int k2 = 0; k2 < n; ++k2) {
            fill_wigd_factors(j, k0 + 2 * k1, k0 + 2 * k2, lnf, factors);
            factors += wigd_term_count(j, k0 + 2 * k1, k0 + 2 * k2);
        }
}

void fill_wigner_block_from_factors(const wigd_tables& tables, int j, parity p, const __float128* factors,
                                    double* out, double* size_out)
{
    const int n = block_order(j, p);
    const int k0 = block_first_k(j, p);
    for (int k1 = 0; k1 < n; ++k1)
        for (int k2 = 0; k2 < n; ++k2) {
            const int at = k1 * n + k2;
            const int m1 = k0 + 2 * k1, m2 = k0 + 2 * k2;
            if (size_out) {
                __float128 size = 0;
                out[at] = wigd_from_factors(j, m1, m2, factors, tables.cos_pow, tables.nsin_pow, &size);
                size_out[at] = static_cast<double>(size);
            } else {
                out[at] = wigd_from_factors(j, m1, m2, factors, tables.cos_pow, tables.nsin_pow);
            }
            factors += wigd_term_count(j, m1, m2);
        }
}

namespace {

// The series value of one element, and where asked whether its bound is
// below the limit, with the terms left out that cannot change either.  Away
// from theta = 90 the terms rise or fall geometrically, by powers of
// tan^2(theta/2) or its inverse, and most lie far below the last place of
// the double the sum is rounded to.  Each term's magnitude is estimated in
// double from the logarithms of its factors (log_c, log_s of the screen);
// terms below 2^-70 of the largest are left out, and the sum of the others
// is kept only when the interval that the left-out terms and the roundings
// of either order of summation can span (their estimated magnitudes with a
// margin of 1%, and 2 (n + 2) 2^-113 of n times the largest term) rounds to a single
// double, and gives the bound a single verdict.  Otherwise, and always for
// a sum that leaves nothing out, every term is summed as the full series
// sums it.  Either way the value and the verdict are bit for bit those of
// the full sum.  A term with a power that is exactly zero (at theta = 0) is
// a zero and changes nothing.  factors holds the element's factors in k
// order, a NaN marking one not made yet; those of the terms summed are made
// as first needed.  With factors null every term is formed afresh.
struct series_element {
    double value;
    bool trusted;   // the bound below the limit (true when not asked)
};

// A factor not made yet is a NaN (all exponent bits set, a mantissa bit
// too); told apart by its bits, without a binary128 comparison.
bool not_made(const __float128& x)
{
    std::uint64_t half[2];
    std::memcpy(half, &x, sizeof half);
    const std::uint64_t high = half[1];   // sign, exponent and the top of the mantissa
    return (high & 0x7fff000000000000u) == 0x7fff000000000000u && ((high & 0x0000ffffffffffffu) | half[0]) != 0;
}

// e^x as a binary128, for a margin: 2^e times e^r, r in [0, log 2), without
// a binary128 exponential.
__float128 exp_margin(double x)
{
    constexpr double log2 = 0.6931471805599453;
    const double e = std::floor(x / log2);
    return scalbnq(static_cast<__float128>(std::exp(x - e * log2)), static_cast<int>(e));
}

series_element series_value(int j, int mp, int m, __float128* factors, const wigd_tables& t,
                            const wigd_screen& screen, bool with_bound, double limit)
{
    const int kmin = std::max(0, m - mp);
    const int kmax = std::min(j - mp, j + m);
    if (kmax < kmin) return {0.0, true};
    const double* lf = t.lnf.data();
    const double p_sum = ((lf[j + m] + lf[j - m]) + lf[j + mp]) + lf[j - mp];
    const __float128 p = static_cast<__float128>(p_sum) * 0.5Q;
    auto denominator = [&](int k) { return lf[k] + ((lf[j - mp - k] + lf[j + m - k]) + lf[k + mp - m]); };
    auto cos_power = [&](int k) { return 2 * j + m - mp - 2 * k; };
    auto sin_power = [&](int k) { return mp - m + 2 * k; };
    auto term = [&](int k) {
        __float128 factor;
        const double d = denominator(k);
        if (factors) {
            __float128& kept = factors[k - kmin];
            if (not_made(kept)) {
                const __float128 e = expq(p - static_cast<__float128>(d));
                kept = (k % 2 == 0) ? e : -e;
            }
            factor = kept;
        } else {
            const __float128 e = expq(p - static_cast<__float128>(d));
            factor = (k % 2 == 0) ? e : -e;
        }
        return (factor * t.cos_pow[static_cast<std::size_t>(cos_power(k))]) *
               t.nsin_pow[static_cast<std::size_t>(sin_power(k))];
    };
    auto verdict = [&](double value, __float128 abs_sum) {
        return !with_bound || wigd_series_bound(j, mp, m, t.lnf, value, abs_sum) < limit;
    };

    // The logarithms of the terms' magnitudes; -inf for an exact zero, a
    // positive power of sin 0 (only theta = 0 has a zero cosine or sine).
    constexpr int most_terms = 2 * 876 + 1;
    double log_term[most_terms];
    double largest = -INFINITY;
    for (int k = kmin; k <= kmax; ++k) {
        const int a = cos_power(k), b = sin_power(k);
        double l = p_sum * 0.5 - denominator(k);
        if (a > 0) l += a * screen.log_c;
        if (b > 0) l += b * screen.log_s;
        log_term[k - kmin] = l;
        largest = std::max(largest, l);
    }
    if (largest == -INFINITY) return {0.0, verdict(0.0, 0)};

    constexpr double below = -70 * 0.6931471805599453;       // log 2^-70
    constexpr double far_below = -120 * 0.6931471805599453;  // log 2^-120
    double left_out = 0;   // magnitudes over e^largest, each counted at least 2^-120
    __float128 sum = 0, abs_sum = 0;
    for (int k = kmin; k <= kmax; ++k) {
        const double l = log_term[k - kmin] - largest;
        if (l == -INFINITY) continue;
        if (l < below) {
            left_out += l < far_below ? 0x1p-120 : std::exp(l);
            continue;
        }
        const __float128 x = term(k);
        sum = sum + x;
        if (with_bound) abs_sum = abs_sum + fabsq(x);
    }
    if (left_out > 0) {
        const int n = kmax - kmin + 1;
        const __float128 scale = exp_margin(largest);
        const __float128 skipped = static_cast<__float128>(1.01 * left_out) * scale;
        // Every term is at most e^largest, so n of them bound the absolute sum.
        const __float128 roundings = static_cast<__float128>(2.02 * (n + 2) * n) * 0x1p-113Q * scale;
        const __float128 spread = 2 * (skipped + roundings);
        const double low = static_cast<double>(sum - spread);
        const double high = static_cast<double>(sum + spread);
        if (std::memcmp(&low, &high, sizeof low) == 0) {
            const bool trusted = verdict(low, abs_sum - spread);
            if (trusted == verdict(low, abs_sum + spread)) return {low, trusted};
        }
        // Too close to call: the full sum.
        sum = 0;
        abs_sum = 0;
        for (int k = kmin; k <= kmax; ++k) {
            if (log_term[k - kmin] == -INFINITY) continue;
            const __float128 x = term(k);
            sum = sum + x;
            if (with_bound) abs_sum = abs_sum + fabsq(x);
        }
    }
    const double value = static_cast<double>(sum);
    return {value, verdict(value, abs_sum)};
}

}  // namespace

void fill_trusted_wigner_block(wigner_plane& w, const wigd_tables& tables, const wigd_screen& screen, int j,
                               parity p, __float128* factors)
{
    const int n = block_order(j, p);
    const int k0 = block_first_k(j, p);
    const std::int64_t offset = block_offset(j, p);
    double* out = w.table[parity_index(p)].data() + offset;
    std::uint8_t* mark = w.from_recursion[parity_index(p)].data() + offset;
    std::int32_t marked = 0;
    for (int k1 = 0; k1 < n; ++k1)
        for (int k2 = 0; k2 < n; ++k2) {
            const auto at = static_cast<std::size_t>(k1 * n + k2);
            const int m1 = k0 + 2 * k1, m2 = k0 + 2 * k2;
            double v = 0;
            bool recursion = false;
            switch (wigd_screen_element(j, m1, m2, tables.lnf, screen, w.limit)) {
            case wigd_verdict::series: v = series_value(j, m1, m2, factors, tables, screen, false, w.limit).value; break;
            case wigd_verdict::recursion: recursion = true; break;
            case wigd_verdict::sum_with_bound: {
                const series_element e = series_value(j, m1, m2, factors, tables, screen, true, w.limit);
                v = e.value;
                recursion = !e.trusted;
                break;
            }
            }
            out[at] = recursion ? 0.0 : v;
            mark[at] = recursion ? 1 : 0;
            marked += recursion ? 1 : 0;
            if (factors) factors += wigd_term_count(j, m1, m2);
        }
    w.marked[block_index(j, p)] = marked;
}

void fill_marked_from_recursion(wigner_plane& w, double theta)
{
    int jlast = -1;
    for (std::size_t b = 0; b < w.marked.size(); ++b)
        if (w.marked[b] > 0) jlast = static_cast<int>(b / 2);
    if (jlast < 0) return;
    wigd_sweep sweep = wigd_sweep_start(jlast, theta, w.sweep_work);
    for (int j = 0; j <= jlast; ++j) {
        if (j > 0) wigd_sweep_next(sweep);
        for (const parity p : both_parities) {
            if (w.marked[block_index(j, p)] == 0) continue;
            const int n = block_order(j, p);
            const int k0 = block_first_k(j, p);
            const std::int64_t offset = block_offset(j, p);
            double* out = w.table[parity_index(p)].data() + offset;
            const std::uint8_t* mark = w.from_recursion[parity_index(p)].data() + offset;
            for (int k1 = 0; k1 < n; ++k1)
                for (int k2 = 0; k2 < n; ++k2)
                    if (mark[k1 * n + k2]) out[k1 * n + k2] = wigd_sweep_element(sweep, k0 + 2 * k1, k0 + 2 * k2);
        }
    }
}

void fill_trusted_wigner_plane(wigner_plane& w, const wigd_tables& tables, double theta, const int (&jtop)[2])
{
    std::fill(w.marked.begin(), w.marked.end(), 0);
    const wigd_screen screen = wigd_screen_of(theta);
    for (int j = 0; j <= std::max(jtop[0], jtop[1]); ++j)
        for (const parity p : both_parities)
            if (j <= jtop[parity_index(p)]) fill_trusted_wigner_block(w, tables, screen, j, p, nullptr);
    fill_marked_from_recursion(w, theta);
}

void fill_wigner_plane(wigner_plane& w, double theta, const int (&jtop)[2], int threads)
{
    std::fill(w.marked.begin(), w.marked.end(), 0);
    const int top = std::max(jtop[0], jtop[1]);
    if (top < 0) return;
    fill_wigd_powers(top, theta, w.cos_pow, w.nsin_pow);
    const wigd_tables tables{w.lnf, w.cos_pow, w.nsin_pow};
    const wigd_screen screen = wigd_screen_of(theta);
    const bool kept = !w.factor_start.empty();
    // Item 2 t is the even block of J = top - t, item 2 t + 1 the odd one.
    for_each_item(threads, 2 * (top + 1), [&](int, int item) {
        const int j = top - item / 2;
        const parity p = item % 2 == 0 ? parity::even : parity::odd;
        if (j > jtop[parity_index(p)]) return;
        fill_trusted_wigner_block(w, tables, screen, j, p,
                                  kept ? w.factors.data() + w.factor_start[block_index(j, p)] : nullptr);
    });
    fill_marked_from_recursion(w, theta);
}

}  // namespace routines
