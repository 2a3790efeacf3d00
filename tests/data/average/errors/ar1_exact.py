#!/usr/bin/python3
"""Writes ar1_exact.txt: for the stationary series x_t = phi x_(t-1) + e_t with
unit normal e_t, the exact standard error of the mean of N terms and the
integrated autocorrelation time, to 30 digits:

    Var(mean) = s^2 / N (1 + 2 sum_{t=1}^{N-1} (1 - t/N) phi^t),  s^2 = 1 / (1 - phi^2)
              = s^2 / N (1 + 2 phi / (1 - phi) - 2 phi (1 - phi^N) / (N (1 - phi)^2))
    tau_int   = (1 + phi) / (2 (1 - phi))

Run by hand; the tests read only the file it writes.
"""
from decimal import Decimal, getcontext
import os

getcontext().prec = 60
HERE = os.path.dirname(os.path.abspath(__file__))

with open(os.path.join(HERE, "ar1_exact.txt"), "w") as out:
    out.write("# phi N standard_error_of_the_mean tau_int\n")
    for phi_text in ["0", "0.5", "0.9", "0.99"]:
        phi = Decimal(phi_text)
        for n in [2 ** 12, 2 ** 20]:
            s2 = 1 / (1 - phi * phi)
            tail = 2 * phi / (1 - phi) - 2 * phi * (1 - phi ** n) / (n * (1 - phi) ** 2)
            se = (s2 / n * (1 + tail)).sqrt()
            tau = (1 + phi) / (2 * (1 - phi))
            out.write("%s %d %s %s\n" % (phi_text, n, format(se, ".30E"), format(tau, ".30E")))
