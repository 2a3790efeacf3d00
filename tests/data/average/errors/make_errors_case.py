#!/usr/bin/python3
"""Writes correlated.eng, an energy file of correlated records, and
correlated.expected, the error analysis of `average --errors --blocking`
for it, computed here independently of the program: in exact rational
arithmetic, block by block, with the heat capacity's jackknife by leaving
each block out in turn, and square roots to 40 digits.

    /usr/bin/python3 make_errors_case.py     (numpy; run by hand, the tests
                                              read only the two files)

The records: an equilibration of SKIP records with a decaying drift, then
autoregressive series x_t = phi x_(t-1) + e_t of several correlation times
about energies far from zero; the rotational energy is correlated far beyond
what the run can resolve, so that its blocking reaches no plateau.
"""
from decimal import Decimal, getcontext
from fractions import Fraction
import os

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
SKIP, RECORDS = 50, 1500
TEMP, NSLICE, MOLECULES = 10.0, 64, 2          # average --temp 10 --nslice 64 --molecules 2
MIN_BLOCKS = 16
NAMES = ["Ekin", "Epot", "Ekin+pot", "Erot", "Ekin+pot+rot", "CvE", "<Cv>"]
COLUMNS = [1, 2, 3, 4, 6, 7]                   # record indices of the six reported columns
getcontext().prec = 50


def ar1(rng, phi, n):
    x = np.empty(n)
    x[0] = rng.standard_normal() / np.sqrt(1 - phi * phi)
    for t in range(1, n):
        x[t] = phi * x[t - 1] + rng.standard_normal()
    return x


def write_file(path):
    rng = np.random.default_rng(20240611)
    n = SKIP + RECORDS
    drift = 50 * np.exp(-np.arange(n) / 10.0)
    kin = np.round(1500 + 3 * ar1(rng, 0.7, n) + drift, 4)
    pot = np.round(-2000 + 2 * ar1(rng, 0.6, n), 4)
    rot = np.round(60 + 0.05 * ar1(rng, 0.995, n), 4)
    cve = np.round(35 + 4 * ar1(rng, 0.5, n), 4)
    with open(path, "w") as f:
        for t in range(n):
            row = [t + 1, kin[t], pot[t], kin[t] + pot[t], rot[t], 0.0, kin[t] + pot[t] + rot[t], cve[t], 0.0, 0.0]
            f.write(" ".join("%d" % row[0] if k == 0 else "%.4f" % v for k, v in enumerate(row)) + "\n")


def sqrt(q):
    return (Decimal(q.numerator) / Decimal(q.denominator)).sqrt()


def heat_capacity(a, c):
    offset = Fraction(3, 2) * MOLECULES * NSLICE * Fraction(TEMP)
    return ((offset - a) ** 2 + c) / Fraction(TEMP) ** 2


def analyse(records):
    n_all = len(records)
    cols = [[Fraction(r[k]) for r in records] for k in COLUMNS]
    levels = []
    k = 0
    while n_all >> k >= 2:
        size, n = 1 << k, n_all >> k
        row = [size, n]
        blocks = [[sum(c[i * size:(i + 1) * size]) / size for i in range(n)] for c in cols]
        for b in blocks:
            mean = sum(b) / n
            var = sum((x - mean) ** 2 for x in b) / n
            row.append(sqrt(var / (n - 1)))
        a, c = blocks[4], blocks[5]
        sa, sc = sum(a), sum(c)
        f = [heat_capacity((sa - a[i]) / (n - 1), (sc - c[i]) / (n - 1)) for i in range(n)]
        fm = sum(f) / n
        row.append(sqrt(Fraction(n - 1, n) * sum((x - fm) ** 2 for x in f)))
        levels.append(row)
        k += 1

    means = [sum(c) / n_all for c in cols]
    estimates = []
    for q in range(7):
        if q < 6:
            mean = means[q]
            naive = sqrt(sum((x - mean) ** 2 for x in cols[q]) / n_all) / Decimal(n_all).sqrt()
        else:
            mean = heat_capacity(means[4], means[5])
            naive = levels[0][2 + q]
        se0 = levels[0][2 + q]
        chosen = None
        for row in levels:
            if row[1] < MIN_BLOCKS:
                break
            ratio = row[2 + q] / se0
            if Decimal(row[0]) ** 3 >= 2 * n_all * ratio ** 4:
                chosen = row
                break
        mean = Decimal(mean.numerator) / Decimal(mean.denominator)
        if chosen is None:
            estimates.append([NAMES[q], mean, naive, None, None, 0, None, None, "no"])
            continue
        se, n = chosen[2 + q], chosen[1]
        tau = (se / se0) ** 2 / 2
        estimates.append([NAMES[q], mean, naive, se, se / Decimal(2 * (n - 1)).sqrt(), chosen[0], tau,
                          n_all / (2 * tau), "yes"])
    return estimates, levels


def shown(v):
    return "NaN" if v is None else ("%d" % v if isinstance(v, int) else format(v, ".25E"))


def main():
    data = os.path.join(HERE, "correlated.eng")
    write_file(data)
    with open(data) as f:
        records = [[float(w) for w in line.split()] for line in f][SKIP:]
    estimates, levels = analyse(records)
    with open(os.path.join(HERE, "correlated.expected"), "w") as out:
        out.write("# average --temp %g --nslice %d --molecules %d --errors --blocking %d on correlated.eng\n"
                  % (TEMP, NSLICE, MOLECULES, SKIP))
        out.write("# quantity mean sigma/sqrt(N) error error_of_error block_size tau_int effective_samples plateau\n")
        for e in estimates:
            out.write(" ".join(e[0:1] + [shown(v) for v in e[1:8]] + [e[8]]) + "\n")
        out.write("# block_size blocks, then the error and its error for each quantity\n")
        for row in levels:
            errors = []
            for se in row[2:]:
                errors += [se, se / Decimal(2 * (row[1] - 1)).sqrt()]
            out.write(" ".join(shown(v) for v in row[:2] + errors) + "\n")


if __name__ == "__main__":
    main()
