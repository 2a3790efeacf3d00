#!/usr/bin/python3
"""A density table read as a user reads it, with h5py, against the text files
and the report of the same run without --hdf5.

    check_table.py TABLE TEXT_FOLDER REPORT 'temp nslice iodevn ithe1 ithe2 ax az ay jmax' EVALUATION

Checks the attributes (the nine arguments, tau, beta, kboltz, the evaluation,
the grid, the partition function and mean energy at tau against the report's
AT TAU lines), the planes and their shapes, and a sample of cells of every
plane against the E15.8 fields of the text files, digit for digit: each field
is the double of the table rounded to eight digits.  At plane 0, 8 pi^2 rho
at the origin is the partition function at tau of the blocks summed.  Prints
what differs and ends with status 1, or ends with status 0.
"""
import math
import sys

import h5py

failures = []


def expect(ok, what):
    if not ok:
        failures.append(what)


def e15_8(v):
    """v in the layout of Fortran's E15.8: sign or blank, 0., eight digits,
    then E and a signed two-digit exponent (three digits, no E, beyond 99)."""
    sign = "-" if math.copysign(1.0, v) < 0 else " "
    if v == 0:
        return sign + "0.00000000E+00"
    mantissa, exponent = ("%.7E" % abs(v)).split("E")
    digits = mantissa.replace(".", "")
    e = int(exponent) + 1
    tail = ("E%+03d" % e) if abs(e) <= 99 else ("%+04d" % e)
    return sign + "0." + digits + tail


def report_at_tau(report):
    """Z and E (cm-1) of the even and odd blocks from the AT TAU lines."""
    lines = open(report).read().splitlines()
    at = lines.index("AT TAU")
    values = {}
    for line, parity in zip(lines[at + 1:at + 3], ("even", "odd")):
        z = float(line.split("Z=")[1].split()[0])
        e = float(line.split(" E=")[1].split()[0])
        values[parity] = (z, e)
    return values


def main():
    table, folder, report, args, evaluation = sys.argv[1:6]
    temp, nslice, iodevn, ithe1, ithe2, ax, az, ay, jmax = args.split()
    with h5py.File(table, "r") as f:
        a = f.attrs
        for name, value in (("temp", float(temp)), ("ax", float(ax)), ("az", float(az)), ("ay", float(ay))):
            expect(a[name] == value, "%s is %r, not %r" % (name, a[name], value))
        for name, value in (("nslice", nslice), ("iodevn", iodevn), ("ithe1", ithe1), ("ithe2", ithe2),
                            ("jmax", jmax)):
            expect(a[name] == int(value), "%s is %r, not %s" % (name, a[name], value))
        expect(a["kboltz"] == 0.6950356, "kboltz is %r" % a["kboltz"])
        beta = 1.0 / (0.6950356 * float(temp))
        expect(a["beta"] == beta, "beta is %r, not %r" % (a["beta"], beta))
        expect(a["tau"] == beta / int(nslice), "tau is %r, not %r" % (a["tau"], beta / int(nslice)))
        expect(a["evaluation"] == evaluation, "evaluation is %r" % a["evaluation"])
        expect(a["program"] == "kelvane" and len(a["version"]) > 0, "program and version")
        expect(a["fastest_index"] == "chi" and a["axes"] == "theta phi chi", "the order of the axes")
        for angle in ("phi", "chi"):
            expect((a[angle + "_first"], a[angle + "_step"], a[angle + "_count"]) == (0, 1, 361), angle + " grid")

        first, last = int(ithe1), min(int(ithe2), 180)
        theta = list(f["theta"][()])
        expect(theta == list(range(first, last + 1)), "theta is %r" % theta)
        expect((a["theta_first"], a["theta_step"], a["theta_count"]) == (first, 1, len(theta)), "theta grid")
        for name, unit in (("rho", "1"), ("eng", "cm-1"), ("esq", "cm-2")):
            d = f[name]
            expect(d.shape == (len(theta), 361, 361) and d.dtype == "<f8", "%s has shape %r" % (name, d.shape))
            expect(d.chunks == (1, 361, 361), "%s is chunked %r" % (name, d.chunks))
            expect(d.attrs["units"] == unit, "%s is in %r" % (name, d.attrs["units"]))

        tau = report_at_tau(report)
        for parity in ("even", "odd"):
            z, e = tau[parity]
            expect(abs(a["Z_%s_at_tau" % parity] - z) <= 5e-7, "Z_%s_at_tau is not the report's %r" % (parity, z))
            expect(abs(a["E_%s_at_tau" % parity] - e) <= 5e-7, "E_%s_at_tau is not the report's %r" % (parity, e))

        rho, eng, esq = f["rho"], f["eng"], f["esq"]
        for k, ithe in enumerate(theta):
            name = "%s/rho.den%03d" % (folder, ithe)
            records = open(name).read().splitlines()[2 if ithe == 0 else 0:]
            singles = [open(name + suffix).read().splitlines() for suffix in ("_rho", "_eng", "_esq")]
            planes = (rho[k], eng[k], esq[k])
            for cell in list(range(0, 130321, 997)) + [130320]:
                iphi, ichi = divmod(cell, 361)
                fields = [e15_8(float(p[iphi, ichi])) for p in planes]
                expect(records[cell] == "%5d%5d%5d %s %s %s" % (ithe, iphi, ichi, *fields),
                       "%s record %d: %r against %r" % (name, cell + 1, records[cell], fields))
                for q in range(3):
                    expect(singles[q][cell] == fields[q], "%s_%s line %d" % (name, ("rho", "eng", "esq")[q], cell + 1))
            if ithe == 0:
                z = sum(tau[p][0] for p, blocks in (("even", ("-1", "0")), ("odd", ("-1", "1"))) if iodevn in blocks)
                expect(abs(78.95683520871486 * rho[k, 0, 0] - z) <= 1e-6 * z,
                       "8 pi^2 rho at the origin %r is not Z %r" % (78.95683520871486 * rho[k, 0, 0], z))

    for what in failures[:20]:
        print(what)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
