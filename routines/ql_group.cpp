// Independent QL iterations advanced side by side.  One rotation of the
// QL sweep is a chain of a division, a square root and a second division, each
// waiting for the one before, so a single iteration leaves the floating-point
// units idle most of the time; other, independent chains interleaved with it
// fill that time.  Every operation on each matrix is the one tql_tridiagonal
// performs, in the same order, so the results are the same bit for bit.
#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "routines/tql.hpp"

namespace routines {

namespace {

// The QL iteration of tql_tridiagonal as a state machine, stopped at the
// boundaries of the rotations so that two of them can be interleaved.
struct ql_run {
    int nm = 0, n = 0;
    double* z = nullptr;
    double* d = nullptr;   // 0-based storage; the 1-based index i is at d[i - 1]
    double* e = nullptr;
    double f = 0.0, b = 0.0;
    int l = 1, m = 1, budget = 0;
    int i = 0;        // next rotation; the sweep ends when i < l
    double p = 0.0, c = 0.0, s = 0.0;
    bool done = false, failed = false;

    double& D(int k) { return d[k - 1]; }
    double& E(int k) { return e[k - 1]; }

    void begin()
    {
        for (int k = 2; k <= n; ++k) E(k - 1) = E(k);
        E(n) = 0.0;
        l = 1;
        next_l();
    }

    // The convergence test for l = l, l + 1, ...: the first l whose
    // subdiagonal element is not yet negligible starts a sweep; the others
    // take their shift total at once.
    void next_l()
    {
        for (; l <= n; ++l) {
            const double h = 1e-12 * (std::fabs(D(l)) + std::fabs(E(l)));
            if (b < h) b = h;
            m = l;
            while (m < n && !(std::fabs(E(m)) <= b)) ++m;
            if (m != l) {
                budget = 50;
                start_sweep();
                return;
            }
            D(l) = D(l) + f;
        }
        done = true;
    }

    void start_sweep()
    {
        const double g = D(l);
        double pp = (D(l + 1) - g) / (E(l) + E(l));
        const double r = std::sqrt(pp * pp + 1.0);
        const double h = pp < 0.0 ? g - E(l) / (pp - r) : g - E(l) / (pp + r);
        for (int k = l; k <= n; ++k) D(k) = D(k) - h;
        f = f + h;
        p = D(m);
        c = 1.0;
        s = 0.0;
        i = m - 1;
    }

    void rotate()
    {
        const double g = c * E(i);
        const double h = c * p;
        double r;
        if (std::fabs(p) >= std::fabs(E(i))) {
            const double t = E(i) / p;
            r = std::sqrt(t * t + 1.0);
            E(i + 1) = s * p * r;
            s = t / r;
            c = 1.0 / r;
        } else {
            const double t = p / E(i);
            r = std::sqrt(t * t + 1.0);
            E(i + 1) = s * E(i) * r;
            s = 1.0 / r;
            c = t / r;
        }
        p = c * D(i) - s * g;
        D(i + 1) = h + s * (c * g + s * D(i));
        if (z) {
            double* zi = z + static_cast<std::ptrdiff_t>(i - 1) * nm;
            double* zi1 = zi + nm;
            for (int k = 0; k < n; ++k) {
                const double u = zi1[k];
                zi1[k] = s * zi[k] + c * u;
                zi[k] = c * zi[k] - s * u;
            }
        }
        --i;
    }

    void end_sweep()
    {
        E(l) = s * p;
        D(l) = c * p;
        if (std::fabs(E(l)) <= b) {
            D(l) = D(l) + f;
            ++l;
            next_l();
        } else if (--budget == 0) {
            failed = true;
            done = true;
        } else {
            start_sweep();
        }
    }

    void finish_order()
    {
        for (int k = 1; k <= n - 1; ++k) {
            int kmin = k;
            double pmin = D(k);
            for (int j = k + 1; j <= n; ++j) {
                if (D(j) < pmin) {
                    kmin = j;
                    pmin = D(j);
                }
            }
            if (kmin != k) {
                D(kmin) = D(k);
                D(k) = pmin;
                if (z)
                    for (int row = 0; row < n; ++row)
                        std::swap(z[row + static_cast<std::ptrdiff_t>(k - 1) * nm],
                                  z[row + static_cast<std::ptrdiff_t>(kmin - 1) * nm]);
            }
        }
    }
};

}  // namespace

void tql_tridiagonal_group(std::span<ql_problem> problems)
{
    std::array<ql_run, max_ql_group> runs{};
    std::array<ql_run*, max_ql_group> active{};
    const int count = static_cast<int>(std::min(problems.size(), runs.size()));
    int live = 0;
    for (int k = 0; k < count; ++k) {
        const ql_problem& q = problems[k];
        runs[k].nm = q.nm;
        runs[k].n = q.n;
        runs[k].z = q.z;
        runs[k].d = q.d;
        runs[k].e = q.e;
        runs[k].begin();
        if (!runs[k].done) active[live++] = &runs[k];
    }
    while (live > 0) {
        // Rotations up to the end of the shortest sweep in progress.
        int steps = active[0]->i - active[0]->l;
        for (int k = 1; k < live; ++k) steps = std::min(steps, active[k]->i - active[k]->l);
        for (int step = 0; step <= steps; ++step)
            for (int k = 0; k < live; ++k) active[k]->rotate();
        int kept = 0;
        for (int k = 0; k < live; ++k) {
            ql_run* r = active[k];
            if (r->i < r->l) r->end_sweep();
            if (!r->done) active[kept++] = r;
        }
        live = kept;
    }
    for (int k = 0; k < count; ++k) {
        if (!runs[k].failed) runs[k].finish_order();
        problems[k].converged = !runs[k].failed;
    }
}

}  // namespace routines
