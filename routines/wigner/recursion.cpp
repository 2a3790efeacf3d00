// The stable recursion in J.
//
// It couples spin j - 1/2 with spin 1/2 to the stretched spin j.  With the
// Clebsch-Gordan coefficients of that coupling, sqrt((j +- m)/(2j)),
//
//   d^j_{m'm} = (1/2j) [ sqrt((j+m')(j+m)) c d^{j-1/2}_{m'-1/2,m-1/2}
//                      - sqrt((j+m')(j-m)) s d^{j-1/2}_{m'-1/2,m+1/2}
//                      + sqrt((j-m')(j+m)) s d^{j-1/2}_{m'+1/2,m-1/2}
//                      + sqrt((j-m')(j-m)) c d^{j-1/2}_{m'+1/2,m+1/2} ],
//
// c = cos(beta/2), s = sin(beta/2), the four products being the elements of
// d^{1/2}.  Each half step is a contraction of the exact rotation matrices
// (the coupled product of two orthogonal matrices restricted to the stretched
// subspace), so rounding errors are carried forward without growth and add up
// over the 2j steps: below 2e-15 against 40-digit values for every j up to
// jmax_limit (876), where the series loses everything by j = 50 with double
// log-factorials and by j = 80 even with exact ones in binary128.  The whole
// of d^J for every J up to j costs about (4/3) (2j)^3 multiplications in
// double, far less than the series.
#include "routines/wigner/recursion.hpp"

#include <quadmath.h>

#include <algorithm>
#include <cmath>

namespace routines::wigner {

namespace {

// Level n of the recursion is d^{n/2}, (n+1) x (n+1).  Its element (a, b),
// a = j + m', b = j + m, lies at (a + 1) + (b + 1) ld inside a buffer whose
// border row and column stay zero, so that the neighbours outside the matrix
// read as zero.  Two such buffers alternate; entries beyond the current level
// are still zero from the start, as every level is larger than the last.
std::size_t padded_ld(int jmax) { return static_cast<std::size_t>(2 * jmax + 3); }

// From level n - 1 in buffer (n - 1) % 2 to level n in buffer n % 2.  The
// coefficients sqrt((j +- m')(j +- m))/(2j) are formed as products of
// sqrt(a/n) and sqrt((n-a)/n), which are 1 on the edge of the matrix, so
// that the corner elements cos(beta/2)^(2j) and sin(beta/2)^(2j) carry one
// rounding per step and nothing more.  The column loop has no reduction and
// no contraction, so however the compiler treats it every element gets the
// same bits.
void half_step(const sweep& sw, int n)
{
    const std::size_t ld = sw.ld;
    const double* __restrict old = sw.level[(n - 1) % 2];
    double* __restrict nw = sw.level[n % 2];
    double* __restrict q = sw.q;
    double* __restrict qr = sw.q_rev;
    for (int a = 0; a <= n; ++a) q[a] = std::sqrt(static_cast<double>(a) / n);
    for (int a = 0; a <= n; ++a) qr[a] = q[n - a];
    for (int b = 0; b <= n; ++b) {
        // The elements c, -s, s, c of d^{1/2}, each with its column weight.
        const double cq1 = sw.c1 * q[b], cq0 = sw.c0 * q[b];
        const double sq1 = sw.s1 * q[b], sq0 = sw.s0 * q[b];
        const double cr1 = sw.c1 * qr[b], cr0 = sw.c0 * qr[b];
        const double sr1 = sw.s1 * qr[b], sr0 = sw.s0 * qr[b];
        const double* __restrict o1 = old + static_cast<std::size_t>(b) * ld;   // column b - 1
        const double* __restrict o2 = o1 + ld;                                  // column b
        double* __restrict out = nw + static_cast<std::size_t>(b + 1) * ld + 1;
        for (int a = 0; a <= n; ++a) {
            const double upper = (cq1 * o1[a] - cq0 * o1[a]) - (sr1 * o2[a] - sr0 * o2[a]);
            const double lower = (sq1 * o1[a + 1] - sq0 * o1[a + 1]) + (cr1 * o2[a + 1] - cr0 * o2[a + 1]);
            out[a] = q[a] * upper + qr[a] * lower;
        }
    }
}

}  // namespace

std::size_t sweep_work_size(int jmax)
{
    const std::size_t ld = padded_ld(jmax);
    return 2 * ld * ld + 2 * static_cast<std::size_t>(2 * jmax + 1);
}

// cos(beta/2) and sin(beta/2) are each held as a difference x1 - x0 of two
// doubles.  Every element of d^j is a form of degree 2j in c and s, so a
// relative error delta in c alone comes out as about 2j delta in the result:
// c rounded to double near beta = 0 (or s near pi) would cost 4e-14 at
// j = 876.  Written as 1 - (1 - c), with 1 - c formed in binary128 and then
// rounded, c is known to a relative 1e-16 of its distance from 1 instead, and
// the products x c = x - x (1 - c) keep that.  Far from 1, x1 is the value
// and x0 is zero.
sweep sweep_start(int jmax, double beta, std::span<double> work)
{
    const std::size_t ld = padded_ld(jmax);
    std::fill(work.begin(), work.begin() + 2 * ld * ld, 0.0);
    double* const weights = work.data() + 2 * ld * ld;
    sweep sw{{work.data(), work.data() + ld * ld}, weights, weights + (2 * jmax + 1), ld, 0.0, 0.0, 0.0, 0.0, jmax, 0};
    sw.level[0][1 + ld] = 1.0;   // d^0

    const __float128 eta = static_cast<__float128>(beta) * 0.5Q;
    const __float128 c = cosq(eta);
    const __float128 s = sinq(eta);
    if (c > 0.5Q) {
        sw.c1 = 1.0;
        sw.c0 = static_cast<double>(1.0Q - c);
    } else {
        sw.c1 = static_cast<double>(c);
    }
    if (s > 0.5Q) {
        sw.s1 = 1.0;
        sw.s0 = static_cast<double>(1.0Q - s);
    } else {
        sw.s1 = static_cast<double>(s);
    }
    return sw;
}

void sweep_next(sweep& sw)
{
    half_step(sw, 2 * sw.j + 1);
    half_step(sw, 2 * sw.j + 2);
    ++sw.j;
}

double sweep_element(const sweep& sw, int mp, int m)
{
    // Level 2J, even, lies in the first buffer.
    return sw.level[0][static_cast<std::size_t>(mp + sw.j + 1) + static_cast<std::size_t>(m + sw.j + 1) * sw.ld];
}

}  // namespace routines::wigner
