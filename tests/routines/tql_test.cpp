// The symmetric eigen-solver: the cases with known answers, residuals and
// orthonormality on random matrices, and the tridiagonal and interleaved QL
// paths against tql bit for bit; the bubble sort and its one-pass maximum.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "routines/tql.hpp"
#include "tests/support/bits.hpp"

using namespace routines;

namespace {

using matrix = std::vector<double>;   // column by column, leading dimension nm

matrix random_symmetric(int n, int nm, std::mt19937_64& gen)
{
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    matrix a(static_cast<std::size_t>(nm) * nm, 0.0);
    for (int i = 0; i < n; ++i)
        for (int k = 0; k <= i; ++k) a[i + k * nm] = a[k + i * nm] = u(gen);
    return a;
}

// Tridiagonal with either random entries or clusters of equal diagonal values.
void random_tridiagonal(int n, std::mt19937_64& gen, bool clustered, std::vector<double>& d,
                        std::vector<double>& e)
{
    std::uniform_real_distribution<double> u(-10.0, 10.0);
    d.assign(n, 0.0);
    e.assign(n, 0.0);
    for (int i = 0; i < n; ++i) {
        d[i] = clustered ? std::floor(u(gen) / 5.0) : u(gen);
        if (i > 0) e[i] = clustered && i % 3 == 0 ? 0.0 : u(gen) * (clustered ? 1e-6 : 1.0);
    }
}

matrix dense_from(int nm, const std::vector<double>& d, const std::vector<double>& e)
{
    const int n = static_cast<int>(d.size());
    matrix a(static_cast<std::size_t>(nm) * nm, 0.0);
    for (int i = 0; i < n; ++i) {
        a[i + i * nm] = d[i];
        if (i > 0) a[i + (i - 1) * nm] = a[(i - 1) + i * nm] = e[i];
    }
    return a;
}

using test_support::same_bits;

}  // namespace

TEST(Tql, OrderOneIsTheElementWithTheUnitVector)
{
    double a = 3.5, d = 0, e = 7;
    ASSERT_TRUE(tql(1, 1, &a, &d, &e));
    EXPECT_EQ(d, 3.5);
    EXPECT_EQ(a, 1.0);
    EXPECT_EQ(e, 0.0);
}

TEST(Tql, DiagonalMatrixIsSortedWithPermutedIdentity)
{
    const int n = 4, nm = 5;
    matrix a = dense_from(nm, {3.0, -1.0, 2.0, -1.0}, {0, 0, 0, 0});
    std::vector<double> d(nm), e(nm);
    ASSERT_TRUE(tql(nm, n, a.data(), d.data(), e.data()));
    EXPECT_EQ(std::vector<double>(d.begin(), d.begin() + n), (std::vector<double>{-1.0, -1.0, 2.0, 3.0}));
    // Rows of the unit vectors: -1 at rows 2 and 4 (first the earlier), 2 at row 3, 3 at row 1.
    const int row_of[] = {1, 3, 2, 0};
    for (int k = 0; k < n; ++k)
        for (int i = 0; i < n; ++i) EXPECT_EQ(a[i + k * nm], i == row_of[k] ? 1.0 : 0.0);
}

TEST(Tql, TwoByTwo)
{
    matrix a = {2.0, 1.0, 1.0, 2.0};
    std::vector<double> d(2), e(2);
    ASSERT_TRUE(tql(2, 2, a.data(), d.data(), e.data()));
    EXPECT_NEAR(d[0], 1.0, 1e-15);
    EXPECT_NEAR(d[1], 3.0, 1e-15);
    const double r = 1.0 / std::sqrt(2.0);
    EXPECT_NEAR(std::fabs(a[0]), r, 1e-15);
    EXPECT_NEAR(a[0] + a[1], 0.0, 1e-15);
    EXPECT_NEAR(std::fabs(a[2]), r, 1e-15);
    EXPECT_NEAR(a[2] - a[3], 0.0, 1e-15);
}

TEST(Tql, ReadsOnlyTheLowerTriangle)
{
    std::mt19937_64 gen(3);
    const int n = 9, nm = 11;
    matrix a = random_symmetric(n, nm, gen);
    matrix b = a;
    for (int i = 0; i < n; ++i)
        for (int k = i + 1; k < n; ++k) b[i + k * nm] = 1e6 + k;
    std::vector<double> da(nm), ea(nm), db(nm), eb(nm);
    ASSERT_TRUE(tql(nm, n, a.data(), da.data(), ea.data()));
    ASSERT_TRUE(tql(nm, n, b.data(), db.data(), eb.data()));
    EXPECT_TRUE(same_bits(da.data(), db.data(), n));
    for (int k = 0; k < n; ++k) EXPECT_TRUE(same_bits(&a[k * nm], &b[k * nm], n));
}

TEST(Tql, ResidualsAndOrthonormalityOnRandomMatrices)
{
    std::mt19937_64 gen(11);
    for (int n : {1, 2, 3, 4, 7, 16, 33, 64, 129, 300}) {
        const int nm = n + 3;
        const matrix a0 = random_symmetric(n, nm, gen);
        matrix v = a0;
        std::vector<double> d(nm), e(nm);
        ASSERT_TRUE(tql(nm, n, v.data(), d.data(), e.data()));
        double norm = 0;
        for (int i = 0; i < n; ++i)
            for (int k = 0; k < n; ++k) norm = std::max(norm, std::fabs(a0[i + k * nm]));
        norm *= n;
        const double eps = std::numeric_limits<double>::epsilon();
        for (int k = 0; k < n; ++k) {
            if (k > 0) {
                EXPECT_LE(d[k - 1], d[k]);
            }
            double residual = 0;
            for (int i = 0; i < n; ++i) {
                double av = 0;
                for (int c = 0; c < n; ++c) av += a0[i + c * nm] * v[c + k * nm];
                residual = std::max(residual, std::fabs(av - d[k] * v[i + k * nm]));
            }
            EXPECT_LE(residual, 50 * n * eps * norm) << "order " << n << " vector " << k;
            for (int k2 = 0; k2 <= k; ++k2) {
                double dot = 0;
                for (int i = 0; i < n; ++i) dot += v[i + k * nm] * v[i + k2 * nm];
                EXPECT_NEAR(dot, k == k2 ? 1.0 : 0.0, 50 * n * eps) << "order " << n;
            }
        }
    }
}

TEST(Tql, SaysSoWhenAnEigenvalueDoesNotConverge)
{
    matrix a = {1.0, std::nan(""), std::nan(""), 2.0};
    std::vector<double> d(2), e(2);
    EXPECT_FALSE(tql(2, 2, a.data(), d.data(), e.data()));
}

// The reduction leaves a tridiagonal matrix as it is, so starting the QL
// stage from its diagonal and subdiagonal gives tql's results exactly; the
// eigenvalues and their order do not depend on accumulating the vectors.
TEST(TqlTridiagonal, MatchesTqlBitForBitWithAndWithoutVectors)
{
    std::mt19937_64 gen(5);
    for (int trial = 0; trial < 60; ++trial) {
        const int n = 1 + trial * 5 % 150;
        const int nm = n + 2;
        std::vector<double> d0, e0;
        random_tridiagonal(n, gen, trial % 2 == 1, d0, e0);
        d0.resize(nm);
        e0.resize(nm);
        matrix a = dense_from(nm, std::vector<double>(d0.begin(), d0.begin() + n),
                              std::vector<double>(e0.begin(), e0.begin() + n));
        std::vector<double> d(nm), e(nm);
        ASSERT_TRUE(tql(nm, n, a.data(), d.data(), e.data()));

        std::vector<double> dv = d0, ev = e0;
        matrix z(static_cast<std::size_t>(nm) * nm, 0.0);
        for (int i = 0; i < n; ++i) z[i + i * nm] = 1.0;
        ASSERT_TRUE(tql_tridiagonal(nm, n, z.data(), dv.data(), ev.data()));
        std::vector<double> dn = d0, en = e0;
        ASSERT_TRUE(tql_tridiagonal(nm, n, nullptr, dn.data(), en.data()));

        EXPECT_TRUE(same_bits(d.data(), dv.data(), n)) << "order " << n;
        EXPECT_TRUE(same_bits(d.data(), dn.data(), n)) << "order " << n;
        for (int k = 0; k < n; ++k) EXPECT_TRUE(same_bits(&a[k * nm], &z[k * nm], n)) << "order " << n;
    }
}

TEST(TqlTridiagonalGroup, EachProblemEqualsItsOwnRun)
{
    std::mt19937_64 gen(9);
    for (int trial = 0; trial < 40; ++trial) {
        const int count = 1 + trial % max_ql_group;
        const bool vectors = trial % 3 == 0;
        const int nm = 130;
        std::vector<std::vector<double>> d(count), e(count), dref(count), eref(count);
        std::vector<matrix> z(count), zref(count);
        std::vector<ql_problem> problems(count);
        for (int q = 0; q < count; ++q) {
            const int n = 1 + static_cast<int>(gen() % 128);
            random_tridiagonal(n, gen, (trial + q) % 2 == 0, d[q], e[q]);
            dref[q] = d[q];
            eref[q] = e[q];
            if (vectors) {
                z[q].assign(static_cast<std::size_t>(nm) * nm, 0.0);
                for (int i = 0; i < n; ++i) z[q][i + i * nm] = 1.0;
                zref[q] = z[q];
            }
            problems[q] = {nm, n, vectors ? z[q].data() : nullptr, d[q].data(), e[q].data()};
        }
        tql_tridiagonal_group(problems);
        for (int q = 0; q < count; ++q) {
            const int n = problems[q].n;
            EXPECT_TRUE(problems[q].converged);
            ASSERT_TRUE(tql_tridiagonal(nm, n, vectors ? zref[q].data() : nullptr, dref[q].data(), eref[q].data()));
            EXPECT_TRUE(same_bits(d[q].data(), dref[q].data(), n)) << "trial " << trial << " problem " << q;
            if (vectors) {
                EXPECT_TRUE(same_bits(z[q].data(), zref[q].data(), z[q].size()));
            }
        }
    }
}

TEST(TqlTridiagonalGroup, ReportsTheProblemThatDoesNotConverge)
{
    std::vector<double> d1 = {1.0, 2.0, 3.0}, e1 = {0.0, 0.5, 0.5};
    std::vector<double> d2 = {1.0, std::nan(""), 3.0}, e2 = {0.0, 0.5, 0.5};
    std::vector<ql_problem> problems = {{3, 3, nullptr, d1.data(), e1.data()},
                                        {3, 3, nullptr, d2.data(), e2.data()}};
    tql_tridiagonal_group(problems);
    EXPECT_TRUE(problems[0].converged);
    EXPECT_FALSE(problems[1].converged);
}

TEST(BubbleSort, SortsAscendingAndKeepsEqualValuesInOrder)
{
    std::vector<double> a = {3.0, 1.0, 2.0};
    bubble_sort(a.data(), 3);
    EXPECT_EQ(a, (std::vector<double>{1.0, 2.0, 3.0}));

    std::vector<double> z = {0.0, -0.0, -1.0};
    bubble_sort(z.data(), 3);
    EXPECT_EQ(z[0], -1.0);
    EXPECT_FALSE(std::signbit(z[1]));
    EXPECT_TRUE(std::signbit(z[2]));

    double one = 5.0;
    bubble_sort(&one, 1);
    EXPECT_EQ(one, 5.0);
    bubble_sort(nullptr, 0);
}

// The highest level is read as the last element after the sort; the one-pass
// form must give that very double, also for ties of signed zeros and NaN.
TEST(BubbleSort, LastElementInOnePass)
{
    std::mt19937_64 gen(13);
    const double specials[] = {0.0, -0.0, std::nan(""), 1.0, -1.0, 1.0};
    for (int trial = 0; trial < 500; ++trial) {
        const int n = 1 + trial % 40;
        std::vector<double> a(n);
        for (double& x : a) x = trial % 2 ? specials[gen() % 6] : static_cast<double>(gen() % 7) - 3.0;
        double last = a[0];
        for (int j = 1; j < n; ++j) last = sort_carry(last, a[j]);
        bubble_sort(a.data(), n);
        EXPECT_TRUE(same_bits(&last, &a[n - 1], 1)) << "trial " << trial;
    }
}
