# e18_9(v): v as a Fortran E18.9 field, right-justified in 18 columns: a
# minus sign or a blank, 0.ddddddddd, then E and a signed two-digit exponent.
# Read with awk -f before the program that calls it.
function e18_9(v,    s, a, e, m, t) {
    s = v < 0 ? "-" : " "; a = v < 0 ? -v : v
    e = (a == 0) ? 0 : int(log(a) / log(10)) + 1
    m = a / 10 ^ e
    # log() may land one decade off: bring the mantissa into [0.1, 1)
    if (m >= 1) { m /= 10; e++ }
    if (m < 0.1 && a != 0) { m *= 10; e-- }
    # a mantissa that rounds up to 1 becomes 0.1 of the next decade
    t = sprintf("%.9f", m)
    if (t == "1.000000000") { t = "0.100000000"; e++ }
    return sprintf("%18s", sprintf("%s%sE%s%02d", s, t, e < 0 ? "-" : "+", e < 0 ? -e : e))
}
