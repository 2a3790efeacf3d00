#!/usr/bin/env python3
"""High-precision values of plane 90 of kelvane's density tables.

For the runs
    temp 20, nslice 160, iodevn -1, jmax 40
    temp 40, nslice 190, iodevn -1, jmax 60
(water: ax 27.877, az 14.512, ay 9.285) this evaluates rhopro, erotpr and
erotsq at a sample of grid points of theta = 90 degrees by the formulas the
program sums:

    R = sum_J w_J sum_i b_i t_i,  U = ... b_i t_i E_i,  V = ... b_i t_i E_i^2,
    t_i = sum_K1 c_i(K1) sum_K2 cos(K1 phi + K2 chi) c_i(K2) d^J_{K1K2}(pi/2),
    w_J = (2J+1)/78.95683520871486,  b_i = exp(-tau E_i),

with a level dropped when w_J b_i < 1e-16, the blocks combined as iodevn -1
combines them, and the same guards on |R| and |rho|.  Nothing is rounded to
double on the way:

  - d^J(pi/2) is exact: at beta = pi/2 every term of the series carries
    cos^a sin^b = 2^(-J), so
        d^J_{m'm} = 2^-J sqrt((J+m)!(J-m)!/((J+m')!(J-m')!))
                    sum_k (-1)^(k+m'-m) C(J-m', k) C(J+m', J+m-k),
    an integer sum times one square root;
  - the levels and vectors come from the blocks of the asymmetric-top matrix
    elements at 50 digits, with mpmath's symmetric eigen-solver;
  - everything else is summed in fixed point with 240 fractional bits.

The constants (27.877, 0.6950356, the angles (index * pi) / 180 with pi the
double 3.141592653589793) are the doubles the program holds, taken exactly.

Beside each value goes its condition: the sum of the absolute values of the
terms over the value (for rhopro the terms of rho; for erotpr and erotsq, the
ratios U/rho and V/rho, the conditions of numerator and denominator added).
A double-precision program cannot do better than a few ulp times that.

Writes reference.txt beside this script.  Takes some minutes; run once with
python3 and commit the result.  The tests only read the table.
"""
import math
import os
from operator import mul

import mpmath

P = 240                     # fractional bits of the fixed-point sums
ONE = 1 << P
PI = 3.141592653589793
AX, AZ, AY = 27.877, 14.512, 9.285
CASES = [(40, 20.0, 160), (60, 40.0, 190)]   # jmax, temp, nslice
POINTS = [(0, 0), (100, 40), (200, 10), (17, 233), (45, 45), (90, 0), (180, 180),
          (300, 120), (359, 1), (130, 250), (60, 20), (270, 90)]

mpmath.mp.dps = 50


def fixed(x):
    return int(mpmath.nint(x * ONE))


def to_mp(v, scale=P):
    return mpmath.mpf(v) / (mpmath.mpf(2) ** scale)


# ---- blocks -----------------------------------------------------------------

def block_ks(j, odd):
    if (j % 2 == 0) != odd:            # even J even block, odd J odd block: K0 = -J
        return list(range(-j, j + 1, 2))
    return list(range(1 - j, j, 2))


def rotmat(j, k, kp):
    x, z, y = mpmath.mpf(AX), mpmath.mpf(AZ), mpmath.mpf(AY)
    if k == kp:
        c = (x + y) / 2
        return (z - c) * k * k + c * j * (j + 1)

    def cplus(j, k):
        return mpmath.sqrt(j * (j + 1) - k * (k + 1)) if -j <= k < j else mpmath.mpf(0)

    def cminus(j, k):
        return mpmath.sqrt(j * (j + 1) - k * (k - 1)) if -j < k <= j else mpmath.mpf(0)

    if k == kp + 2:
        return (x - y) / 4 * cplus(j, kp) * cplus(j, kp + 1)
    if k == kp - 2:
        return (x - y) / 4 * cminus(j, kp) * cminus(j, kp - 1)
    return mpmath.mpf(0)


def block_levels(j, odd):
    ks = block_ks(j, odd)
    n = len(ks)
    if n == 0:
        return []
    a = mpmath.matrix(n, n)
    for r in range(n):
        for c in range(n):
            a[r, c] = rotmat(j, ks[r], ks[c])
    e, q = mpmath.eigsy(a)
    return [(e[i], [q[r, i] for r in range(n)]) for i in range(n)]


# ---- Wigner values at pi/2 ----------------------------------------------------

def wigner_half_pi(j, mp, m):
    """d^j_{m'm}(pi/2) in fixed point."""
    f = math.factorial
    s = 0
    for k in range(max(0, m - mp), min(j - mp, j + m) + 1):
        term = math.comb(j - mp, k) * math.comb(j + mp, j + m - k)
        s += -term if (k + mp - m) % 2 else term
    num = f(j + m) * f(j - m)
    den = f(j + mp) * f(j - mp)
    root = math.isqrt((num << (2 * P + 2 * j + 8)) // den)   # sqrt(num/den) 2^(P + j + 4)
    return (s * root) >> (2 * j + 4)


def check_wigner():
    """The closed form against the literal series at 60 digits."""
    with mpmath.workdps(60):
        half = mpmath.pi / 4
        for j, mp, m in [(1, 1, 0), (1, 0, 1), (5, 2, -3), (12, -7, 4), (40, 0, 0), (40, 3, -11)]:
            f = mpmath.factorial
            pre = mpmath.sqrt(f(j + m) * f(j - m) * f(j + mp) * f(j - mp))
            tot = mpmath.mpf(0)
            for k in range(max(0, m - mp), min(j - mp, j + m) + 1):
                sign = -1 if (k + mp - m) % 2 else 1
                tot += sign * pre / (f(k) * f(j - mp - k) * f(j + m - k) * f(k + mp - m)) \
                    * mpmath.cos(half) ** (2 * j + m - mp - 2 * k) * mpmath.sin(half) ** (mp - m + 2 * k)
            assert abs(to_mp(wigner_half_pi(j, mp, m)) - tot) < mpmath.mpf(10) ** -45, (j, mp, m)


# ---- the density -----------------------------------------------------------------

def prepare(jmax, temp, nslice):
    beta = 1 / (mpmath.mpf(0.6950356) * temp)
    tau = beta / nslice
    cut = mpmath.mpf(1e-16)
    blocks = []   # (j, odd, ks, d fixed, d float, weight fixed, [(b, e, vec fixed, vec float)])
    for j in range(jmax + 1):
        w = mpmath.mpf(2 * j + 1) / mpmath.mpf(78.95683520871486)
        for odd in (False, True):
            ks = block_ks(j, odd)
            if not ks:
                continue
            kept = []
            for e, v in block_levels(j, odd):
                b = mpmath.exp(-tau * e)
                if w * b < cut:
                    continue
                kept.append((fixed(b), fixed(e), float(b), float(e), [fixed(x) for x in v],
                             [abs(float(x)) for x in v]))
            if not kept:
                continue
            d = [[wigner_half_pi(j, k1, k2) for k2 in ks] for k1 in ks]
            blocks.append((j, odd, ks, d, [[abs(x / ONE) for x in row] for row in d], fixed(w), float(w), kept))
    return blocks


def point(blocks, jmax, iphi, ichi):
    phi = mpmath.mpf((iphi * PI) / 180)
    chi = mpmath.mpf((ichi * PI) / 180)
    with mpmath.workdps(90):
        cphi = {k: fixed(mpmath.cos(k * phi)) for k in range(-jmax, jmax + 1)}
        sphi = {k: fixed(mpmath.sin(k * phi)) for k in range(-jmax, jmax + 1)}
        cchi = {k: fixed(mpmath.cos(k * chi)) for k in range(-jmax, jmax + 1)}
        schi = {k: fixed(mpmath.sin(k * chi)) for k in range(-jmax, jmax + 1)}
    sums = {False: [0, 0, 0, 0.0, 0.0, 0.0], True: [0, 0, 0, 0.0, 0.0, 0.0]}
    for j, odd, ks, d, dabs, w, wf, kept in blocks:
        m = [[((cphi[k1] * cchi[k2] - sphi[k1] * schi[k2]) >> P) * d[a][b] >> P
              for b, k2 in enumerate(ks)] for a, k1 in enumerate(ks)]
        mabs = [[abs(x) / ONE for x in row] for row in m]
        s0 = s1 = s2 = 0
        a0 = a1 = a2 = 0.0
        for b, e, bf, ef, vec, vabs in kept:
            t = sum(c * sum(map(mul, row, vec)) for c, row in zip(vec, m)) >> (2 * P)
            ta = sum(c * sum(map(mul, row, vabs)) for c, row in zip(vabs, mabs))
            tb = t * b >> P
            s0 += tb
            s1 += tb * e >> P
            s2 += (tb * e >> P) * e >> P
            a0 += ta * bf
            a1 += ta * bf * ef
            a2 += ta * bf * ef * ef
        acc = sums[odd]
        acc[0] += s0 * w >> P
        acc[1] += s1 * w >> P
        acc[2] += s2 * w >> P
        acc[3] += a0 * wf
        acc[4] += a1 * wf
        acc[5] += a2 * wf
    cut = mpmath.mpf(1e-16)
    r = {p: to_mp(sums[p][0]) for p in sums}
    u = {p: to_mp(sums[p][1]) for p in sums}
    v = {p: to_mp(sums[p][2]) for p in sums}
    rho = r[True] + r[False]
    eng = esq = mpmath.mpf(0)
    if abs(rho) >= cut:
        # A block's estimator, multiplied back by its R, is its U (or V);
        # a block with |R| <= 1e-16 adds nothing.
        eng = sum((u[p] for p in sums if abs(r[p]) > cut), mpmath.mpf(0)) / rho
        esq = sum((v[p] for p in sums if abs(r[p]) > cut), mpmath.mpf(0)) / rho
    abs_r = sums[False][3] + sums[True][3]
    abs_u = sums[False][4] + sums[True][4]
    abs_v = sums[False][5] + sums[True][5]
    cond_rho = abs_r / abs(float(rho))
    u_all = u[True] + u[False]
    v_all = v[True] + v[False]
    cond_eng = abs_u / abs(float(u_all)) + cond_rho if eng != 0 else 0.0
    cond_esq = abs_v / abs(float(v_all)) + cond_rho if esq != 0 else 0.0
    return rho, eng, esq, cond_rho, cond_eng, cond_esq


def main():
    check_wigner()
    here = os.path.dirname(os.path.abspath(__file__))
    lines = ["# plane 90 of kelvane (water 27.877 14.512 9.285, iodevn -1): exact Wigner values,",
             "# 50-digit levels; see make_reference.py.",
             "# jmax temp nslice iphi ichi rhopro erotpr erotsq cond_rho cond_eng cond_esq"]
    for jmax, temp, nslice in CASES:
        blocks = prepare(jmax, temp, nslice)
        for iphi, ichi in POINTS:
            rho, eng, esq, cr, ce, cq = point(blocks, jmax, iphi, ichi)
            lines.append("%d %g %d %d %d %s %s %s %.3e %.3e %.3e" % (
                jmax, temp, nslice, iphi, ichi, mpmath.nstr(rho, 25, min_fixed=1, max_fixed=0),
                mpmath.nstr(eng, 25, min_fixed=1, max_fixed=0), mpmath.nstr(esq, 25, min_fixed=1, max_fixed=0),
                cr, ce, cq))
            print(lines[-1], flush=True)
    with open(os.path.join(here, "reference.txt"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
