#include "kelvane/levels/level_blocks.hpp"

#include <algorithm>
#include <array>
#include <string>

#include "routines/rotmat.hpp"
#include "process/process.hpp"
#include "textio/textio.hpp"
#include "routines/tql.hpp"

namespace kelvane {

void reserve_block_work(routines::storage& s, block_work& w, int nmax, bool matrix)
{
    w.nm = nmax < 1 ? 1 : nmax;
    const auto nm = static_cast<std::size_t>(w.nm);
    if (matrix) s.take(w.a, nm * nm);
    s.take(w.d, nm);
    s.take(w.e, nm);
}

void check_block_rows(const block& b, const process::line_sink& out)
{
    int rows = 0;
    for (int k = b.k0; k <= b.j; k += 2) ++rows;
    if (rows == b.n) return;
    if (b.par == parity::odd) out.line(textio::free_line().integer(b.n).integer(rows).str());
    throw process::stop_run{"wrong dimension"};
}

namespace {

double element(const block& b, int i, int k, const run_args& args)
{
    return routines::rotmat(b.j, b.k0 + 2 * i, b.k0 + 2 * k, args.ax, args.az, args.ay);
}

// "(3x,10f9.4)": ten values to a line, each line led by three blanks.
void print_values(std::string_view lead, const double* v, int n, const process::line_sink& out)
{
    std::string line(lead);
    for (int i = 0; i < n; ++i) {
        if (i > 0 && i % 10 == 0) {
            out.line(line);
            line = "   ";
        }
        textio::put_f(line, v[i], 9, 4);
    }
    out.line(line);
}

void print_block(const block& b, const block_work& w, const process::line_sink& out)
{
    out.line("");
    out.line(b.par == parity::even ? "rotational matrix for even k:" : "rotational matrix for odd k:");
    out.line("");
    std::vector<double> row(b.n);
    for (int i = 0; i < b.n; ++i) {
        for (int k = 0; k < b.n; ++k) row[k] = w.a[i + static_cast<std::size_t>(k) * w.nm];
        print_values("   ", row.data(), b.n, out);
    }
}

void print_solution(const block& b, const block_work& w, const process::line_sink& out)
{
    out.line("");
    print_values("   ", w.d.data(), b.n, out);
    out.line("");
    for (int i = 0; i < b.n; ++i) {
        std::string line;
        textio::put_i(line, b.k0 + 2 * i, 3);
        for (int k = 0; k < b.n; ++k)
            textio::put_f(line, w.a[i + static_cast<std::size_t>(k) * w.nm], 9, 4);
        out.line(line);
    }
}

}  // namespace

void solve_block_dense(const block& b, const run_args& args, block_work& w, const process::line_sink& out)
{
    const std::size_t nm = w.nm;
    for (int i = 0; i < b.n; ++i) {
        for (int k = 0; k <= i; ++k) {
            const double h = element(b, i, k, args);
            w.a[i + k * nm] = h;
            w.a[k + i * nm] = h;
        }
    }
    if (printed(b.j)) print_block(b, w, out);
    if (!routines::tql(w.nm, b.n, w.a.data(), w.d.data(), w.e.data())) throw process::stop_run{"  FAIL"};
    if (printed(b.j)) print_solution(b, w, out);
}

bool solve_blocks_tridiagonal(std::span<const block> blocks, const run_args& args, bool vectors,
                              std::span<block_work> work)
{
    std::array<routines::ql_problem, routines::max_ql_group> problems;
    const std::size_t count = std::min(blocks.size(), problems.size());
    for (std::size_t q = 0; q < count; ++q) {
        const block& b = blocks[q];
        block_work& w = work[q];
        const std::size_t nm = w.nm;
        w.e[0] = 0.0;
        for (int i = 0; i < b.n; ++i) {
            w.d[i] = element(b, i, i, args);
            if (i > 0) w.e[i] = element(b, i, i - 1, args);
        }
        double* z = nullptr;
        if (vectors) {
            for (int k = 0; k < b.n; ++k)
                for (int i = 0; i < b.n; ++i) w.a[i + k * nm] = i == k ? 1.0 : 0.0;
            z = w.a.data();
        }
        problems[q] = {w.nm, b.n, z, w.d.data(), w.e.data()};
    }
    routines::tql_tridiagonal_group(std::span(problems.data(), count));
    for (std::size_t q = 0; q < count; ++q)
        if (!problems[q].converged) return false;
    return true;
}

}  // namespace kelvane
