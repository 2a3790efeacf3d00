#include "sodrel/rotcalc.hpp"

#include <array>
#include <new>
#include <string>
#include <vector>

#include "kelvane/levels.hpp"
#include "textio/textio.hpp"
#include "routines/tql.hpp"

namespace sodrel {

using namespace kelvane;

namespace {

// Up to four blocks (two J, two parities) and the levels they leave, even
// and odd apart, in the order of J.
struct storage {
    block_work printed;
    std::array<block_work, 4> work;
    std::vector<double> even_levels;
    std::vector<double> odd_levels;
};

storage reserve(int jmax)
{
    storage s;
    s.printed = make_block_work(3, true);
    for (block_work& w : s.work) w = make_block_work(jmax + 1, false);
    s.even_levels.reserve(2 * static_cast<std::size_t>(jmax) + 1);
    s.odd_levels.reserve(2 * static_cast<std::size_t>(jmax) + 1);
    return s;
}

void keep(storage& s, const block& b, const block_work& w)
{
    std::vector<double>& levels = b.par == parity::even ? s.even_levels : s.odd_levels;
    levels.insert(levels.end(), w.d.begin(), w.d.begin() + b.n);
}

}  // namespace

void rotcalc(const run_args& args)
{
    storage s;
    try {
        s = reserve(args.jmax);
    } catch (const std::bad_alloc&) {
        textio::io_failure("sodrel: cannot obtain storage for jmax " + std::to_string(args.jmax));
    }

    check_iodevn(args.iodevn);
    const double beta = inverse_temperature(args.temp);
    const double tau = time_step(beta, args.nslice);
    print_tau(tau);

    // For jmax = 0 the first J is -1, whose even block has no basis state
    // against an order of -1: the row check stops the run there.
    std::array<block, 4> quiet;
    std::size_t nquiet = 0;
    for (int j = args.jmax - 1; j <= args.jmax; ++j) {
        for (const parity par : {parity::even, parity::odd}) {
            if (par == parity::odd && j == 0) continue;
            const block b = make_block(j, par);
            check_block_rows(b);
            if (printed(j)) {
                solve_block_dense(b, args, s.printed);
                keep(s, b, s.printed);
            } else {
                quiet[nquiet++] = b;
            }
        }
    }
    // Blocks above J = 2 print nothing, so they are solved together once the
    // printed ones are done.
    if (nquiet > 0) {
        if (!solve_blocks_tridiagonal(std::span(quiet.data(), nquiet), args, false, s.work))
            textio::stop("  FAIL");
        for (std::size_t q = 0; q < nquiet; ++q) keep(s, quiet[q], s.work[q]);
    }

    print_jmax(args.jmax);

    // The last element of the merged list (even levels, then odd) after the
    // ascending sort.
    double emax = s.even_levels.front();
    for (std::size_t i = 1; i < s.even_levels.size(); ++i)
        emax = routines::sort_carry(emax, s.even_levels[i]);
    for (const double e : s.odd_levels) emax = routines::sort_carry(emax, e);
    cutoff_test(emax, beta, tau);
    textio::stop();
}

}  // namespace sodrel
