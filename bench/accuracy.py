#!/usr/bin/python3
"""How close the jmax of `sodrel --accuracy TOL` is to the smallest jmax that
really meets TOL.

For each case (the nine arguments but the planes and jmax) and tolerance:

  cutoff   the smallest jmax that sodrel's plain verdict accepts;
  answer   the jmax and bound of sodrel --accuracy TOL;
  tables   the smallest jmax whose kelvane tables (planes 0, 41, 90, 180)
           differ from those at jmax + 20 by at most TOL of the largest value
           of rho, rho.eng and rho.esq, from the printed values (scanned from
           the answer, the change falling as jmax grows);
  net      the same with each difference first reduced by the rounding of the
           printed values (half a unit of their 8th digit, carried into the
           products): the smallest true change the printed values allow;
  identity the same from the exact sums at the identity rotation, where the
           change of every quantity is largest: levels solved here with numpy
           (dense blocks), the weight cut of the density applied, the part
           of J > jmax against the part kelvane keeps.

The printed values carry 8 digits: near the peak of rho (about 10) one unit
of the last digit is 1e-8 of it, so at TOL 1e-8 the 'tables' column sees
rounding, and 'net' and 'identity' are the measures.

    bench/accuracy.py [BUILD_DIR] [--fourier]       (default: build)

--fourier makes the tables with kelvane --fourier (faster; the values agree
with the default's but for the last printed digit).  A few minutes.
"""
import math
import os
import re
import subprocess
import sys
import tempfile

import numpy as np

WATER = (27.877, 14.512, 9.285)   # ax az ay
PLANES = (0, 41, 90, 180)
STEP = 20
CASES = [
    ("example", "10 128 -1"),
    ("hotter", "40 64 -1"),
    ("odd K", "10 64 1"),
]
TOLS = ("1e-6", "1e-8")


def run(args, cwd=None):
    return subprocess.run(args, cwd=cwd, capture_output=True, text=True)


def constants():
    return " ".join(str(c) for c in WATER)


def cutoff_jmax(build, head):
    for j in range(1, 877):
        r = run([f"{build}/bin/sodrel", *f"{head} 0 0 {constants()} {j}".split()])
        if r.returncode == 0 and r.stderr == "":
            return j
    return None


def accuracy(build, head, tol):
    r = run([f"{build}/bin/sodrel", "--accuracy", tol, *f"{head} 0 0 {constants()} 5".split()])
    m = re.match(r"accuracy \S+: jmax= (\d+) bound= (\S+)\n", r.stdout)
    return (int(m.group(1)), m.group(2)) if m else (None, r.stderr.strip())


LETTERLESS = re.compile(r"(\d)([+-]\d{3})\b")


def half_unit(x):
    """Half a unit of the 8th significant digit of E15.8 values."""
    a = np.abs(x)
    e = np.floor(np.log10(np.where(a > 0, a, 1.0))) + 1
    return np.where(a > 0, 0.5 * 10.0 ** (e - 8), 0.0)


def table(build, head, jmax, fourier, cache):
    """rho, rho.eng, rho.esq and the rounding each carries, for the four planes."""
    key = (head, jmax)
    if key in cache:
        return cache[key]
    values, rounding = [], []
    with tempfile.TemporaryDirectory() as work:
        for p in PLANES:
            args = [f"{build}/bin/kelvane"] + (["--fourier"] if fourier else [])
            args += f"{head} {p} {p} {constants()} {jmax}".split()
            r = run(args, cwd=work)
            if r.returncode != 0 or r.stderr:
                raise SystemExit(f"kelvane {' '.join(args[1:])}: {r.stderr}")
            cols = []
            for suffix in ("_rho", "_eng", "_esq"):
                with open(os.path.join(work, f"rho.den{p:03d}{suffix}")) as f:
                    text = LETTERLESS.sub(r"\1E\2", f.read())
                cols.append(np.array(text.split(), dtype=float))
            rho, eng, esq = cols
            ur, ue, uq = (half_unit(c) for c in cols)
            values.append(np.stack([rho, rho * eng, rho * esq]))
            rounding.append(np.stack([ur, np.abs(eng) * ur + np.abs(rho) * ue + ur * ue,
                                      np.abs(esq) * ur + np.abs(rho) * uq + ur * uq]))
    cache[key] = (np.concatenate(values, axis=1), np.concatenate(rounding, axis=1))
    return cache[key]


def change(build, head, jmax, fourier, cache):
    """The largest relative change from jmax to jmax + 20: as printed, and net of rounding."""
    (cut, ucut), (ref, uref) = (table(build, head, j, fourier, cache) for j in (jmax, jmax + STEP))
    raw = net = 0.0
    for q in range(3):
        peak = np.max(np.abs(ref[q]))
        d = np.abs(cut[q] - ref[q])
        raw = max(raw, np.max(d) / peak)
        net = max(net, np.max(np.maximum(d - ucut[q] - uref[q], 0.0)) / peak)
    return raw, net


def smallest_meeting(build, head, jmax, cut, tol, which, fourier, cache):
    """Scanned from jmax: down while met, else up a few; kelvane stops below the cutoff."""
    met = lambda j: change(build, head, j, fourier, cache)[which] <= tol
    if met(jmax):
        while jmax > cut and met(jmax - 1):
            jmax -= 1
        return jmax
    for j in range(jmax + 1, jmax + 4):
        if met(j):
            return j
    return f">{jmax + 3}"


def levels(j, ax, az, ay):
    """Even-K and odd-K levels of J from the dense blocks."""
    k = np.arange(-j, j + 1)
    jj = j * (j + 1)
    h = np.diag((ax + ay) / 2 * (jj - k * k) + az * k * k)
    for i in range(2 * j - 1):
        v = (ax - ay) / 4 * math.sqrt((jj - k[i] * (k[i] + 1)) * (jj - (k[i] + 1) * (k[i] + 2)))
        h[i, i + 2] = h[i + 2, i] = v
    starting = np.linalg.eigvalsh(h[0::2, 0::2])              # K = -J, -J+2, ...
    other = np.linalg.eigvalsh(h[1::2, 1::2]) if j > 0 else np.array([])
    return (starting, other) if j % 2 == 0 else (other, starting)


def identity_changes(head, jend):
    """For each jmax, the largest relative change at the identity."""
    temp, nslice, iodevn = head.split()
    tau = 1 / (0.6950356 * float(temp)) / int(nslice)
    iodevn = int(iodevn)
    kept = np.zeros((jend + 1, 3))
    total = np.zeros((jend + 1, 3))
    dropped = np.zeros((jend + 1, 3))
    for j in range(jend + 1):
        even, odd = levels(j, *WATER)
        e = {-1: np.concatenate([even, odd]), 0: even, 1: odd}[iodevn]
        w = (2 * j + 1) / 78.95683520871486
        b = np.exp(-tau * e)
        cut = w * b < 1e-16
        for m in range(3):
            t = w * b * e ** m
            total[j, m] = t.sum()
            kept[j, m] = t[~cut].sum()
            dropped[j, m] = t[cut].sum()
    held = np.cumsum(kept, axis=0)
    left = np.cumsum(dropped, axis=0) + (total.sum(axis=0) - np.cumsum(total, axis=0))
    with np.errstate(divide="ignore", invalid="ignore"):
        return np.max(left / held, axis=1)


def main():
    build = os.path.abspath(next((a for a in sys.argv[1:] if not a.startswith("--")), "build"))
    fourier = "--fourier" in sys.argv
    print(f"load average: {' '.join(open('/proc/loadavg').read().split()[:3])}; "
          f"tables {'--fourier' if fourier else 'default evaluation'}")
    print(f"{'case':8} {'args':10} {'TOL':5} {'cutoff':>6} {'answer':>6} {'bound':>8} "
          f"{'tables':>6} {'net':>6} {'identity':>8} {'answer/smallest':>17}")
    print("(answer/smallest: against tables, net and identity)")
    for name, head in CASES:
        cache = {}
        cut = cutoff_jmax(build, head)
        exact = identity_changes(head, 200)
        for tol in TOLS:
            t = float(tol)
            jmax, bound = accuracy(build, head, tol)
            if jmax is None:
                print(f"{name:8} {head:10} {tol:5} {cut:6} no answer: {bound}")
                continue
            tables = smallest_meeting(build, head, jmax, cut, t, 0, fourier, cache)
            net = smallest_meeting(build, head, jmax, cut, t, 1, fourier, cache)
            ident = next(j for j in range(cut, len(exact)) if exact[j] <= t)
            ratios = "/".join(f"{jmax / s:.3f}" if isinstance(s, int) else "-" for s in (tables, net, ident))
            print(f"{name:8} {head:10} {tol:5} {cut:6} {jmax:6} {bound:>8} {tables!s:>6} {net!s:>6} {ident:8} "
                  f"{ratios:>17}")
            sys.stdout.flush()


if __name__ == "__main__":
    main()
