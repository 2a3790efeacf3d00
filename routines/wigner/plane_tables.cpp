#include "routines/wigner/plane_tables.hpp"

#include <algorithm>
#include <array>
#include <span>
#include <stdexcept>

#include "routines/parallel.hpp"
#include "routines/storage.hpp"
#include "routines/wigner/recursion.hpp"
#include "routines/wigner/series.hpp"
#include "routines/wigner/three_term.hpp"

namespace routines {

using namespace wigner;

namespace {

// The factors of the series are kept for a run only up to this jmax and
// only while they take at most factor_cap; beyond, each plane sums its terms
// afresh.
constexpr int kept_factors_jmax = 100;
constexpr std::size_t factor_cap = std::size_t{128} << 20;

std::size_t block_index(int j, parity p) { return static_cast<std::size_t>(2 * j + parity_index(p)); }

// Each element (K1, K2) of block (J, p) with its place in the block, in
// the block's order: K2 fastest.
template <class Element>
void for_each_element(int j, parity p, Element&& element)
{
    const int n = block_order(j, p);
    const int k0 = block_first_k(j, p);
    for (int k1 = 0; k1 < n; ++k1)
        for (int k2 = 0; k2 < n; ++k2) element(static_cast<std::size_t>(k1 * n + k2), k0 + 2 * k1, k0 + 2 * k2);
}

std::int64_t block_factor_count(int j, parity p)
{
    std::int64_t count = 0;
    for_each_element(j, p, [&](std::size_t, int k1, int k2) { count += series_terms(j, k1, k2).count(); });
    return count;
}

// Where the kept factors of each block start, element after element in
// the block's order, the last entry their number; nothing when they would
// take more than factor_cap.
std::vector<std::int64_t> factor_layout(int jmax)
{
    if (jmax > kept_factors_jmax) return {};
    std::vector<std::int64_t> start{0};
    for (int j = 0; j <= jmax; ++j)
        for (const parity p : both_parities) start.push_back(start.back() + block_factor_count(j, p));
    if (static_cast<std::size_t>(start.back()) * sizeof(__float128) > factor_cap) return {};
    return start;
}

// Where the state of column m starts among the columns' states.
std::size_t column_state_start(int m)
{
    std::size_t start = 0;
    for (int c = 0; c < m; ++c) start += column_state_size(c);
    return start;
}

// The one description of a plane's storage at jmax by a method, every array
// with its length: reserve_wigner_plane takes it, wigner_plane_bytes counts
// it, so that what a run reports it needs is what it asks for.
void plane_storage(storage& s, wigner_plane& w, int jmax, wigner_method method)
{
    for (const parity p : both_parities)
        s.take(w.table[parity_index(p)], static_cast<std::size_t>(block_table_size(jmax, p)));
    if (method == wigner_method::three_term) {
        s.take(w.column_factors, column_factors_size(jmax));
        s.take(w.column_powers, column_powers_size(jmax));
        s.take(w.column_states, column_state_start(jmax + 1));
        return;
    }
    for (const parity p : both_parities)
        s.take(w.from_recursion[parity_index(p)], static_cast<std::size_t>(block_table_size(jmax, p)));
    s.take(w.marked, 2 * static_cast<std::size_t>(jmax + 1));
    s.take(w.sweep_work, sweep_work_size(jmax));
    s.take(w.lnf, angle_table_size(jmax));
    s.take(w.cos_pow, angle_table_size(jmax));
    s.take(w.nsin_pow, angle_table_size(jmax));
    const std::vector<std::int64_t> start = factor_layout(jmax);
    s.take(w.factor_start, start.size());
    if (s.takes()) std::copy(start.begin(), start.end(), w.factor_start.begin());
    // A NaN marks a factor not made yet.
    s.take(w.factors, start.empty() ? 0 : static_cast<std::size_t>(start.back()), nanq(""));
}

// Block (J, p) at the angle of t and screen: the series value where it is
// trusted, with the bits of the full sum, from the block's kept factors
// when factors is not null; every other element marked for the recursion.
void fill_from_series(wigner_plane& w, const angle_tables& t, const series_screen& screen, int j, parity p,
                      __float128* factors)
{
    const std::int64_t offset = block_offset(j, p);
    double* out = w.table[parity_index(p)].data() + offset;
    std::uint8_t* mark = w.from_recursion[parity_index(p)].data() + offset;
    std::int32_t marked = 0;
    for_each_element(j, p, [&](std::size_t at, int k1, int k2) {
        const series_terms s(j, k1, k2);
        double v = 0;
        bool recursion = false;
        switch (screen_element(s, t.lnf.data(), screen, w.limit)) {
        case screen_verdict::series: v = sum_series(s, t, screen, factors, false, w.limit).value; break;
        case screen_verdict::recursion: recursion = true; break;
        case screen_verdict::sum_with_bound: {
            const series_value e = sum_series(s, t, screen, factors, true, w.limit);
            v = e.value;
            recursion = !e.trusted;
            break;
        }
        }
        out[at] = recursion ? 0.0 : v;
        mark[at] = recursion ? 1 : 0;
        marked += recursion ? 1 : 0;
        if (factors) factors += s.count();
    });
    w.marked[block_index(j, p)] = marked;
}

// The marked elements of every block, from one sweep of the recursion at
// theta up to the last J that has any.  Blocks that were not filled have
// w.marked zero.
void fill_marked_from_recursion(wigner_plane& w, double theta)
{
    int jlast = -1;
    for (std::size_t b = 0; b < w.marked.size(); ++b)
        if (w.marked[b] > 0) jlast = static_cast<int>(b / 2);
    if (jlast < 0) return;
    sweep sw = sweep_start(jlast, theta, w.sweep_work);
    for (int j = 0; j <= jlast; ++j) {
        if (j > 0) sweep_next(sw);
        for (const parity p : both_parities) {
            if (w.marked[block_index(j, p)] == 0) continue;
            const std::int64_t offset = block_offset(j, p);
            double* out = w.table[parity_index(p)].data() + offset;
            const std::uint8_t* mark = w.from_recursion[parity_index(p)].data() + offset;
            for_each_element(j, p, [&](std::size_t at, int k1, int k2) {
                if (mark[at]) out[at] = sweep_element(sw, k1, k2);
            });
        }
    }
}

// The blocks J <= jtop[p] at theta from their columns: column m (its rows
// m' = -m, -m + 2, ..., m, of the parity of m) gives every element
// (K1, K2) of its blocks with max(|K1|, |K2|) = m, each the value of
// (m', m) = (K1, K2), (K2, K1), (-K2, -K1) or (-K1, -K2), which are equal as
// K1 - K2 is even.  Columns write disjoint elements, so any worker may take
// any column; the widest go first.
void fill_from_columns(wigner_plane& w, double theta, const std::array<int, 2>& jtop, int threads)
{
    const int top = std::max(jtop[0], jtop[1]);
    const column_angle angle = column_angle_of(theta, top, w.column_powers);
    for_each_item(threads, top + 1, [&](int, int item) {
        // Column m has (m + 1)(jtop - m + 1) elements, the most near top / 2.
        const int m = item % 2 == 0 ? top / 2 - item / 2 : top / 2 + (item + 1) / 2;
        const parity p = m % 2 == 0 ? parity::even : parity::odd;
        const int jlast = jtop[parity_index(p)];
        if (m > jlast) return;
        const std::span<double> state(w.column_states.data() + column_state_start(m), column_state_size(m));
        column_sweep c = column_sweep_start(w.column_factors, angle, m, -m, state);
        std::int64_t offset = block_offset(m, p);
        for (int j = m; j <= jlast; ++j) {
            if (j > m) column_sweep_next(c);
            const int n = block_order(j, p), k0 = block_first_k(j, p);
            double* out = w.table[parity_index(p)].data() + offset;
            offset += static_cast<std::int64_t>(n) * n;
            auto at = [&](int k1, int k2) { return static_cast<std::size_t>(((k1 - k0) / 2) * n + (k2 - k0) / 2); };
            for (int i = 0; i <= m; ++i) {
                const int mp = -m + 2 * i;
                const double v = column_sweep_element(c, i);
                out[at(mp, m)] = v;
                out[at(m, mp)] = v;
                out[at(-m, -mp)] = v;
                out[at(-mp, -m)] = v;
            }
        }
    });
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

void reserve_wigner_plane(storage& s, wigner_plane& w, int jmax, wigner_method method)
{
    if (!s.takes()) return plane_storage(s, w, jmax, method);
    if (jmax < 0 || jmax > jmax_limit) throw std::invalid_argument("a Wigner plane holds J = 0 to jmax_limit");
    w = wigner_plane{};   // nothing left of an earlier reservation by the other method
    w.jmax = jmax;
    w.method = method;
    w.limit = limit_for(jmax);
    plane_storage(s, w, jmax, method);
    if (method == wigner_method::three_term)
        fill_column_factors(jmax, w.column_factors);
    else
        fill_log_factorials(jmax, w.lnf);
}

void reserve_wigner_plane(wigner_plane& w, int jmax, wigner_method method)
{
    storage taking = storage::taking();
    reserve_wigner_plane(taking, w, jmax, method);
}

std::size_t wigner_plane_bytes(int jmax, wigner_method method)
{
    wigner_plane none;
    storage counting = storage::counting();
    reserve_wigner_plane(counting, none, jmax, method);
    return counting.bytes();
}

void fill_wigner_plane(wigner_plane& w, double theta, const std::array<int, 2>& jtop, int threads)
{
    std::fill(w.marked.begin(), w.marked.end(), 0);
    const int top = std::max(jtop[0], jtop[1]);
    if (top < 0) return;
    if (w.method == wigner_method::three_term) return fill_from_columns(w, theta, jtop, threads);
    fill_half_angle_powers(top, theta, w.cos_pow, w.nsin_pow);
    const angle_tables tables{w.lnf, w.cos_pow, w.nsin_pow};
    const series_screen screen = screen_of(theta);
    const bool kept = !w.factors.empty();
    // Item 2 t is the even block of J = top - t, item 2 t + 1 the odd one.
    for_each_item(threads, 2 * (top + 1), [&](int, int item) {
        const int j = top - item / 2;
        const parity p = item % 2 == 0 ? parity::even : parity::odd;
        if (j > jtop[parity_index(p)]) return;
        fill_from_series(w, tables, screen, j, p, kept ? w.factors.data() + w.factor_start[block_index(j, p)] : nullptr);
    });
    fill_marked_from_recursion(w, theta);
}

}  // namespace routines
