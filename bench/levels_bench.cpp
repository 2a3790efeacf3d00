// The QL stage of the level loop for water, one thread, three ways: the
// dense literal tql (reduction, rotations into the vectors), the QL from the
// tridiagonal form without vectors, and the same with four blocks
// interleaved.  Prints the median of several runs of each over J = 3..jmax.
//   levels_bench [JMAX] [RUNS]     (default 300, 5)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "kelvane/levels/level_blocks.hpp"
#include "routines/rotmat.hpp"
#include "routines/tql.hpp"
#include "tests/support/water.hpp"

using namespace kelvane;

namespace {

run_args water(int jmax) { return water_args(jmax); }

template <class F>
double median_seconds(int runs, F f)
{
    std::vector<double> t;
    for (int r = 0; r < runs; ++r) {
        const auto start = std::chrono::steady_clock::now();
        f();
        t.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    const int jmax = argc > 1 ? std::atoi(argv[1]) : 300;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const run_args args = water(jmax);
    const int nm = jmax + 1;
    double sink = 0;

    const double dense = median_seconds(runs, [&] {
        std::vector<double> a(static_cast<std::size_t>(nm) * nm), d(nm), e(nm);
        for (int j = 3; j <= jmax; ++j)
            for (const parity par : {parity::even, parity::odd}) {
                const block b = make_block(j, par);
                for (int i = 0; i < b.n; ++i)
                    for (int k = 0; k <= i; ++k)
                        a[i + k * nm] = a[k + i * nm] =
                            routines::rotmat(j, b.k0 + 2 * i, b.k0 + 2 * k, args.ax, args.az, args.ay);
                if (!routines::tql(nm, b.n, a.data(), d.data(), e.data())) std::abort();
                sink += d[b.n - 1];
            }
    });
    const double single = median_seconds(runs, [&] {
        std::vector<block_work> w(1);
        routines::storage taking = routines::storage::taking();
        reserve_block_work(taking, w[0], nm, false);
        for (int j = 3; j <= jmax; ++j)
            for (const parity par : {parity::even, parity::odd}) {
                const block b = make_block(j, par);
                solve_blocks_tridiagonal(std::span(&b, 1), args, false, w);
                sink += w[0].d[b.n - 1];
            }
    });
    const double grouped = median_seconds(runs, [&] {
        std::vector<block_work> w(4);
        routines::storage taking = routines::storage::taking();
        for (block_work& one : w) reserve_block_work(taking, one, nm, false);
        for (int j = jmax; j >= 3; j -= 2) {
            std::vector<block> blocks;
            for (int jj = j; jj >= std::max(j - 1, 3); --jj)
                for (const parity par : {parity::even, parity::odd}) blocks.push_back(make_block(jj, par));
            solve_blocks_tridiagonal(blocks, args, false, w);
            sink += w[0].d[0];
        }
    });
    std::printf("jmax %d, median of %d runs, one thread\n", jmax, runs);
    std::printf("  dense tql with vectors        %8.3f s  (1.00)\n", dense);
    std::printf("  tridiagonal QL, no vectors    %8.3f s  (%.2f x faster)\n", single, dense / single);
    std::printf("  same, four blocks interleaved %8.3f s  (%.2f x faster)\n", grouped, dense / grouped);
    std::printf("  (checksum %g)\n", sink);
}
