#include "routines/wigner_plane.hpp"

#include <algorithm>

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
    if (!w.factor_start.empty()) {
        w.factors.resize(static_cast<std::size_t>(w.factor_start.back()));
        w.factors_made.assign(static_cast<std::size_t>(block_table_size(jmax, parity::even)) +
                                  static_cast<std::size_t>(block_table_size(jmax, parity::odd)),
                              0);
    }
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
        b += static_cast<std::size_t>(layout.back()) * sizeof(__float128) + values * sizeof(std::uint8_t);
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

// The block fill proper; with factors, made[] says which elements' factors
// are already there, and the others are made as they are first needed.
void fill_block(wigner_plane& w, const wigd_tables& tables, const wigd_screen& screen, int j, parity p,
                __float128* factors, std::uint8_t* made)
{
    const int n = block_order(j, p);
    const int k0 = block_first_k(j, p);
    const std::int64_t offset = block_offset(j, p);
    double* out = w.table[parity_index(p)].data() + offset;
    std::uint8_t* mark = w.from_recursion[parity_index(p)].data() + offset;
    auto series = [&](int m1, int m2, std::size_t at, __float128* abs_sum) {
        if (!factors) return wigd_tabulated(j, m1, m2, tables, abs_sum);
        if (made && !made[at]) {
            fill_wigd_factors(j, m1, m2, tables.lnf, factors);
            made[at] = 1;
        }
        return wigd_from_factors(j, m1, m2, factors, tables.cos_pow, tables.nsin_pow, abs_sum);
    };
    std::int32_t marked = 0;
    for (int k1 = 0; k1 < n; ++k1)
        for (int k2 = 0; k2 < n; ++k2) {
            const auto at = static_cast<std::size_t>(k1 * n + k2);
            const int m1 = k0 + 2 * k1, m2 = k0 + 2 * k2;
            double v = 0;
            bool recursion = false;
            switch (wigd_screen_element(j, m1, m2, tables.lnf, screen, w.limit)) {
            case wigd_verdict::series: v = series(m1, m2, at, nullptr); break;
            case wigd_verdict::recursion: recursion = true; break;
            case wigd_verdict::sum_with_bound: {
                __float128 abs_sum = 0;
                v = series(m1, m2, at, &abs_sum);
                recursion = !(wigd_series_bound(j, m1, m2, tables.lnf, v, abs_sum) < w.limit);
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

}  // namespace

void fill_trusted_wigner_block(wigner_plane& w, const wigd_tables& tables, const wigd_screen& screen, int j,
                               parity p, const __float128* factors)
{
    // Without made[], fill_block only reads the factors.
    fill_block(w, tables, screen, j, p, const_cast<__float128*>(factors), nullptr);
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
        __float128* factors = nullptr;
        std::uint8_t* made = nullptr;
        if (kept) {
            factors = w.factors.data() + w.factor_start[block_index(j, p)];
            made = w.factors_made.data() + block_offset(j, p) +
                   (p == parity::odd ? block_table_size(w.jmax, parity::even) : 0);
        }
        fill_block(w, tables, screen, j, p, factors, made);
    });
    fill_marked_from_recursion(w, theta);
}

}  // namespace routines
