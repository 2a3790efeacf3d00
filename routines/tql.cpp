#include "routines/tql.hpp"

#include <cmath>
#include <cstddef>
#include <utility>

namespace routines {

namespace {

// 1-based views on the caller's storage.
struct matrix {
    double* p;
    std::ptrdiff_t nm;
    double& operator()(int i, int k) const { return p[(i - 1) + (k - 1) * nm]; }
};

struct vector1 {
    double* p;
    double& operator()(int i) const { return p[i - 1]; }
};

}  // namespace

void tred2(int nm, int n, double* a_, double* d_, double* e_)
{
    const matrix a{a_, nm};
    const vector1 d{d_};
    const vector1 e{e_};

    if (n >= 2) {
        for (int i = n; i >= 2; --i) {
            const int l = i - 1;
            double f = a(i, l);
            double g = 0.0;
            for (int k = 1; k <= l - 1; ++k) g = g + a(i, k) * a(i, k);
            double h = f * f + g;
            // A row that is already zero left of the subdiagonal needs no
            // reflection; the tolerance also keeps h away from zero below.
            if (g - 1e-20 <= 0.0) {
                e(i) = f;
                h = 0.0;
            } else {
                const double gp = f >= 0.0 ? -std::sqrt(h) : std::sqrt(h);
                e(i) = gp;
                h = h - gp * f;
                a(i, l) = f - gp;
                f = 0.0;
                for (int j = 1; j <= l; ++j) {
                    a(j, i) = a(i, j) / h;
                    g = 0.0;
                    for (int k = 1; k <= j; ++k) g = g + a(j, k) * a(i, k);
                    for (int k = j + 1; k <= l; ++k) g = g + a(k, j) * a(i, k);
                    e(j) = g / h;
                    f = f + g * a(j, i);
                }
                const double hh = f / (h + h);
                for (int j = 1; j <= l; ++j) {
                    f = a(i, j);
                    g = e(j) - hh * f;
                    e(j) = g;
                    for (int k = 1; k <= j; ++k) a(j, k) = a(j, k) - f * e(k) - g * a(i, k);
                }
            }
            d(i) = h;
        }
    }
    d(1) = 0.0;
    e(1) = 0.0;
    if (n < 1) return;

    for (int i = 1; i <= n; ++i) {
        const int l = i - 1;
        if (d(i) != 0.0) {
            for (int j = 1; j <= l; ++j) {
                double g = 0.0;
                for (int k = 1; k <= l; ++k) g = g + a(i, k) * a(k, j);
                for (int k = 1; k <= l; ++k) a(k, j) = a(k, j) - g * a(k, i);
            }
        }
        d(i) = a(i, i);
        a(i, i) = 1.0;
        for (int j = 1; j <= l; ++j) {
            a(i, j) = 0.0;
            a(j, i) = 0.0;
        }
    }
}

bool tql_tridiagonal(int nm, int n, double* z_, double* d_, double* e_)
{
    const matrix z{z_, nm};
    const vector1 d{d_};
    const vector1 e{e_};
    const bool vectors = z_ != nullptr;

    for (int i = 2; i <= n; ++i) e(i - 1) = e(i);
    e(n) = 0.0;

    double f = 0.0;
    double b = 0.0;
    for (int l = 1; l <= n; ++l) {
        double h = 1e-12 * (std::fabs(d(l)) + std::fabs(e(l)));
        if (b < h) b = h;
        // e(n) = 0 ends the search; the bound only matters for a matrix that
        // holds a NaN, which then fails to converge instead of running off.
        int m = l;
        while (m < n && !(std::fabs(e(m)) <= b)) ++m;
        if (m != l) {
            int budget = 50;
            for (;;) {
                double g = d(l);
                double p = (d(l + 1) - g) / (e(l) + e(l));
                double r = std::sqrt(p * p + 1.0);
                h = p < 0.0 ? g - e(l) / (p - r) : g - e(l) / (p + r);
                for (int i = l; i <= n; ++i) d(i) = d(i) - h;
                f = f + h;

                p = d(m);
                double c = 1.0;
                double s = 0.0;
                for (int i = m - 1; i >= l; --i) {
                    g = c * e(i);
                    h = c * p;
                    if (std::fabs(p) >= std::fabs(e(i))) {
                        const double t = e(i) / p;
                        r = std::sqrt(t * t + 1.0);
                        e(i + 1) = s * p * r;
                        s = t / r;
                        c = 1.0 / r;
                    } else {
                        const double t = p / e(i);
                        r = std::sqrt(t * t + 1.0);
                        e(i + 1) = s * e(i) * r;
                        s = 1.0 / r;
                        c = t / r;
                    }
                    p = c * d(i) - s * g;
                    d(i + 1) = h + s * (c * g + s * d(i));
                    if (vectors) {
                        for (int k = 1; k <= n; ++k) {
                            const double u = z(k, i + 1);
                            z(k, i + 1) = s * z(k, i) + c * u;
                            z(k, i) = c * z(k, i) - s * u;
                        }
                    }
                }
                e(l) = s * p;
                d(l) = c * p;
                if (std::fabs(e(l)) <= b) break;
                if (--budget == 0) return false;
            }
        }
        d(l) = d(l) + f;
    }

    // Selection sort; among equal values the first one stays in place.
    for (int i = 1; i <= n - 1; ++i) {
        int k = i;
        double p = d(i);
        for (int j = i + 1; j <= n; ++j) {
            if (d(j) < p) {
                k = j;
                p = d(j);
            }
        }
        if (k != i) {
            d(k) = d(i);
            d(i) = p;
            if (vectors)
                for (int row = 1; row <= n; ++row) std::swap(z(row, i), z(row, k));
        }
    }
    return true;
}

bool tql(int nm, int n, double* a, double* d, double* e)
{
    tred2(nm, n, a, d, e);
    return tql_tridiagonal(nm, n, a, d, e);
}

void bubble_sort(double* a, int n)
{
    for (int i = n - 1; i >= 1; --i) {
        bool exchanged = false;
        for (int j = 0; j < i; ++j) {
            if (a[j] > a[j + 1]) {
                std::swap(a[j], a[j + 1]);
                exchanged = true;
            }
        }
        if (!exchanged) return;
    }
}

}  // namespace routines
