#!/usr/bin/env python3
"""Reference values of the Wigner small-d function for the tests.

d^j_{m'm}(beta) from its explicit series, with exact integer factorials and
enough decimal digits that the cancellation of the series (the absolute sum of
its terms grows like 4^j) leaves more than 40 correct digits.  beta is the
double nearest to (deg * pi) / 180 as the programs form it, taken exactly.
Every value is computed twice, at two precisions, and must agree.

Writes reference.txt beside this script: one line per value,
    j  m'  m  deg  d
Run once with python3 and commit the result; the tests only read the table.
"""
import os
import random

import mpmath

PI = 3.141592653589793


def beta_of(deg):
    return (deg * PI) / 180.0   # the same double the programs form


def wigner_d(j, mp, m, beta, dps):
    with mpmath.workdps(dps):
        half = mpmath.mpf(beta) / 2
        c = mpmath.cos(half)
        s = mpmath.sin(half)
        f = mpmath.factorial
        pre = mpmath.sqrt(mpmath.mpf(
            f(j + m, exact=True) * f(j - m, exact=True) * f(j + mp, exact=True) * f(j - mp, exact=True)))
        total = mpmath.mpf(0)
        for k in range(max(0, m - mp), min(j - mp, j + m) + 1):
            den = (f(k, exact=True) * f(j - mp - k, exact=True) * f(j + m - k, exact=True)
                   * f(k + mp - m, exact=True))
            sign = -1 if (k + mp - m) % 2 else 1
            total += sign * pre / den * c ** (2 * j + m - mp - 2 * k) * s ** (mp - m + 2 * k)
        return total


def reference(j, mp, m, deg):
    beta = beta_of(deg)
    dps = int(0.61 * j) + 50
    a = wigner_d(j, mp, m, beta, dps)
    b = wigner_d(j, mp, m, beta, dps + 30)
    assert abs(a - b) < mpmath.mpf(10) ** -40, (j, mp, m, deg)
    return b


def cases():
    rng = random.Random(20261208)
    for j in range(0, 121):
        pairs = {(0 if j == 0 else j % 2, 0), (j, j), (-j, j), (j, -j)}
        for _ in range(3):
            pairs.add((rng.randint(-j, j), rng.randint(-j, j)))
        if j >= 2:
            pairs.add((1, -1))
            pairs.add((-2, 1))
        degs = {0, 90, 180, rng.randint(1, 179), rng.randint(80, 100)}
        for mp, m in sorted(pairs):
            for deg in sorted(degs):
                yield j, mp, m, deg
    # Few angles at the largest j: each one costs the tests a full recursion.
    # The corners (j, j) and (-j, j), cos(beta/2)^(2j) and sin(beta/2)^(2j),
    # are close to 1 near 0 and 180 degrees.
    for j, degs in ((150, (0, 37, 90, 91, 180)), (200, (0, 37, 90, 91, 180)),
                    (300, (0, 1, 37, 90, 91, 179, 180)), (500, (2, 90, 179)), (876, (1, 90))):
        pairs = {(0, 0), (1, 0), (j, -j), (-j, j), (j, j), (j // 3, -(j // 5))}
        for _ in range(2):
            pairs.add((rng.randint(-j, j), rng.randint(-j, j)))
        for mp, m in sorted(pairs):
            for deg in degs:
                yield j, mp, m, deg
    # The three-term recursion in double-double: pairs of both parities at
    # J = 100, 200 and 400 near 0, 90 and 180 degrees, the corners among
    # them; and rows whose closed form at J = max(|m|, |m'|) lies below
    # 1e-180 (2^-710 and 2^-986 here) yet grows into values near 1e-6.
    rng = random.Random(20270114)
    for j in (100, 200, 400):
        pairs = {(0, 0), (1, -1), (2, 0), (1, 0), (j, j), (-j, j), (j, -j), (j - 1, j - 3), (-(j // 2), j // 2),
                 (j // 5, -(j // 5) - 1)}
        while len(pairs) < 18:
            pairs.add((rng.randint(-j, j), rng.randint(-j, j)))
        for mp, m in sorted(pairs):
            for deg in (0, 1, 2, 89, 90, 91, 178, 179, 180):
                yield j, mp, m, deg
    for j, mp, m, deg in ((870, -113, 113, 13), (874, -326, 326, 41), (874, 326, 326, 139)):
        yield j, mp, m, deg


def main():
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "reference.txt")
    with open(path, "w") as out:
        out.write("# j m' m deg d^j_{m'm}(deg*pi/180), from make_reference.py\n")
        for j, mp, m, deg in cases():
            v = reference(j, mp, m, deg)
            out.write("%d %d %d %d %s\n" % (j, mp, m, deg, mpmath.nstr(v, 25, min_fixed=0, max_fixed=0)))


if __name__ == "__main__":
    main()
