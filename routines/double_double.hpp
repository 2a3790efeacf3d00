// Double-double arithmetic: a value carried as the unevaluated sum hi + lo of
// two doubles, about 106 bits, built from the error-free transformations of
// Knuth (the exact error of a sum) and Dekker (the exact error of a product,
// from each factor split into two 26-bit halves).
//
// Every step is a fixed sequence of IEEE double additions and
// multiplications rounded to nearest, so a result has the same bits on any
// platform that computes in plain double: no fused multiply-add (the build
// has -ffp-contract=off), no wider registers (SSE2 on x86-64, never x87),
// no value-changing optimisation.  Nothing here depends on long double.
//
// The functions are templates so that the same sequence serves one value
// and a vector of lanes (GCC vector extensions, one operation per lane): a
// lane then sees exactly the roundings of a single value.
#pragma once

#include <quadmath.h>

#include <cfloat>
#include <cmath>

// Double expressions must round to double at every step: with wider
// evaluation (x87) the split and the exact errors would not be exact.
static_assert(FLT_EVAL_METHOD == 0, "double-double arithmetic needs double expressions evaluated in double");

namespace routines::dd {

// s + e == a + b exactly, s = fl(a + b) (Knuth's TwoSum: no condition on the
// magnitudes).
template <class T>
inline __attribute__((always_inline)) void two_sum(T a, T b, T& s, T& e)
{
    s = a + b;
    const T z = s - a;
    e = (a - (s - z)) + (b - z);
}

// hi + lo == a exactly, each half of at most 26 significant bits, so that the
// product of two halves is exact in double (Dekker; 2^27 + 1 for 53 bits).
template <class T>
inline __attribute__((always_inline)) void split(T a, T& hi, T& lo)
{
    const T t = a * 134217729.0;
    hi = t - (t - a);
    lo = a - hi;
}

// The rounding error of p = fl(a b), from the halves of a and b:
// a b == p + product_error exactly.
template <class A, class B, class P>
inline __attribute__((always_inline)) P product_error(P p, A a_hi, A a_lo, B b_hi, B b_lo)
{
    return ((a_hi * b_hi - p) + a_hi * b_lo + a_lo * b_hi) + a_lo * b_lo;
}

// A double-double as the tables keep it: the value hi + lo, hi being the
// value rounded to double, with the two Dekker halves of hi beside it, so
// that a product needs no split of its own.
inline constexpr int split_size = 4;   // hi, lo, upper half of hi, lower half of hi

// The rounded sum of a compensated sum: hi + lo as the nearest double.  One
// rounding, of the exact value hi + lo.
template <class T>
inline __attribute__((always_inline)) T round(T hi, T lo)
{
    return hi + lo;
}

// hi + lo in the kept form: out[0] + out[1] == hi + lo exactly, out[0] the
// nearest double, out[2] + out[3] == out[0] in halves.
inline void settle(double hi, double lo, double* out)
{
    double s, e, h, l;
    two_sum(hi, lo, s, e);
    split(s, h, l);
    out[0] = s;
    out[1] = e;
    out[2] = h;
    out[3] = l;
}

// A binary128 value in the kept form: the nearest double and the nearest
// double to what remains (113 bits squeezed into 106).
inline void settle_quad(__float128 q, double* out)
{
    const double hi = static_cast<double>(q);
    const double lo = static_cast<double>(q - hi);
    settle(hi, lo, out);
}

// The compensated sum (hi, lo) takes one more product a b, a and b in the
// kept form (a value of a and b each: hi, lo, upper, lower).  The leading
// product is added with its exact error; the error and the cross terms
// a.hi b.lo + a.lo b.hi go to lo.  The term a.lo b.lo, of relative size
// 2^-106, is left out.  Every error so made is below 2^-104 times the
// magnitude of the terms and partial sums involved, so a sum of N such
// products is good to about N 2^-104 times the sum of their absolute values.
template <class A, class B, class T>
inline __attribute__((always_inline)) void add_product(T& hi, T& lo, A a_hi, A a_lo, A a_up, A a_dn,
                                                       B b_hi, B b_lo, B b_up, B b_dn)
{
    const T p = a_hi * b_hi;
    const T e = product_error(p, a_up, a_dn, b_up, b_dn) + (a_hi * b_lo + a_lo * b_hi);
    T s, t;
    two_sum(hi, p, s, t);
    hi = s;
    lo = lo + (t + e);
}

// ---- Double-double values ----------------------------------------------------
//
// A value (hi, lo) with hi the nearest double to hi + lo, as the functions
// below leave it.  Each result is good to a few units of 2^-106 relative to
// the result (a product) or to the larger operand (a sum), the bounds of the
// classical double-double algorithms (Dekker; Hida, Li and Bailey).

// s + e == a + b exactly, s = fl(a + b), when |a| >= |b| or a == 0 (Dekker's
// FastTwoSum, three operations).
template <class T>
inline __attribute__((always_inline)) void quick_two_sum(T a, T b, T& s, T& e)
{
    s = a + b;
    e = b - (s - a);
}

// (h, l) = (ah, al) (bh, bl); the product al bl, of relative size 2^-106, is
// left out.
template <class T>
inline __attribute__((always_inline)) void mul(T ah, T al, T bh, T bl, T& h, T& l)
{
    T au, ad, bu, bd;
    split(ah, au, ad);
    split(bh, bu, bd);
    const T p = ah * bh;
    quick_two_sum(p, product_error(p, au, ad, bu, bd) + (ah * bl + al * bh), h, l);
}

// (h, l) = (ah, al) b for a double b.
template <class T>
inline __attribute__((always_inline)) void mul(T ah, T al, double b, T& h, T& l)
{
    T au, ad;
    double bu, bd;
    split(ah, au, ad);
    split(b, bu, bd);
    const T p = ah * b;
    quick_two_sum(p, product_error(p, au, ad, bu, bd) + al * b, h, l);
}

// (h, l) = (ah, al) + (bh, bl), both parts summed with their exact errors.
template <class T>
inline __attribute__((always_inline)) void add(T ah, T al, T bh, T bl, T& h, T& l)
{
    T s, e, t, f;
    two_sum(ah, bh, s, e);
    two_sum(al, bl, t, f);
    e = e + t;
    quick_two_sum(s, e, s, e);
    e = e + f;
    quick_two_sum(s, e, h, l);
}

// (h, l) = (ah, al) / b for a double b: the quotient of the leading parts,
// corrected by the exact remainder.
inline void quotient(double ah, double al, double b, double& h, double& l)
{
    double qu, qd, bu, bd;
    const double q = ah / b;
    split(q, qu, qd);
    split(b, bu, bd);
    const double p = q * b;
    const double r = ((ah - p) - product_error(p, qu, qd, bu, bd)) + al;
    quick_two_sum(q, r / b, h, l);
}

// (h, l) = 1 / (ah, al).
inline void reciprocal(double ah, double al, double& h, double& l)
{
    double qu, qd, au, ad;
    const double q = 1.0 / ah;
    split(q, qu, qd);
    split(ah, au, ad);
    const double p = q * ah;
    const double r = ((1.0 - p) - product_error(p, qu, qd, au, ad)) - q * al;
    quick_two_sum(q, r * q, h, l);
}

// (h, l) = sqrt((ah, al)), ah >= 0: the double root, corrected by the exact
// residual (one Newton step).
inline void square_root(double ah, double al, double& h, double& l)
{
    if (ah <= 0) {
        h = l = 0;
        return;
    }
    double su, sd;
    const double s = std::sqrt(ah);
    split(s, su, sd);
    const double p = s * s;
    const double r = ((ah - p) - product_error(p, su, sd, su, sd)) + al;
    quick_two_sum(s, r / (2 * s), h, l);
}

}  // namespace routines::dd
