// The water and cage tables, the rotation, the pair term and caleng.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>

#include "brantor/cage.hpp"
#include "brantor/scan.hpp"
#include "textio/textio.hpp"

using namespace brantor;

namespace {

point carbon(int j)  // 1-based, as the cage is numbered
{
    return {rcwf[j - 1], rcwf[ncarbon + j - 1], rcwf[2 * ncarbon + j - 1]};
}

double distance(const point& a, const point& b)
{
    return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}

std::string fixed(double v, int w, int d)
{
    std::string s;
    textio::put_f(s, v, w, d);
    return s.substr(s.find_first_not_of(' '));
}

// An angle of the scan grid, given in whole degrees (a multiple of 60).
double deg(int d) { return grid_angle(d / 60 + 1); }

}  // namespace

TEST(CageTable, IsCentredAndEveryCarbonLiesOnTheSphere)
{
    point c = {0, 0, 0};
    for (int j = 1; j <= ncarbon; ++j) {
        for (int i = 0; i < 3; ++i) c[i] += carbon(j)[i];
        EXPECT_NEAR(distance(carbon(j), {0, 0, 0}), 3.54841, 3e-6) << "carbon " << j;
    }
    for (double v : c) EXPECT_NEAR(v / ncarbon, 0.0, 1e-12);
}

TEST(CageTable, HasThirtyShortAndSixtyLongBonds)
{
    int n1391 = 0, n1455 = 0, other = 0;
    for (int i = 1; i <= ncarbon; ++i)
        for (int j = i + 1; j <= ncarbon; ++j) {
            const double d = distance(carbon(i), carbon(j));
            if (d >= 1.6) continue;
            if (std::abs(d - 1.391) < 5e-4) ++n1391;
            else if (std::abs(d - 1.455) < 5e-4) ++n1455;
            else ++other;
        }
    EXPECT_EQ(n1391, 30);
    EXPECT_EQ(n1455, 60);
    EXPECT_EQ(other, 0);
}

TEST(CageTable, ClosesWithPentagonsOnTheFivefoldAxis)
{
    for (const auto& [ring, z] : {std::pair{std::array{1, 6, 7, 8, 9}, -3.32556},
                                  std::pair{std::array{49, 50, 51, 59, 60}, 3.32556}}) {
        for (int a : ring) {
            EXPECT_NEAR(carbon(a)[2], z, 5e-6) << "carbon " << a;
            int bonded = 0;
            for (int b : ring)
                if (b != a && std::abs(distance(carbon(a), carbon(b)) - 1.455) < 5e-4) ++bonded;
            EXPECT_EQ(bonded, 2) << "carbon " << a;
        }
    }
    int polar = 0;
    for (int j = 1; j <= ncarbon; ++j) polar += std::abs(carbon(j)[2]) > 3.3;
    EXPECT_EQ(polar, 10);
}

TEST(WaterTable, IsTheRigidMoleculeAtItsCentreOfMass)
{
    EXPECT_NEAR(distance(rowf, rh1wf), 0.958013, 1e-6);
    EXPECT_NEAR(distance(rowf, rh2wf), 0.958013, 1e-6);
    const point a = {rh1wf[0] - rowf[0], 0, rh1wf[2] - rowf[2]};
    const point b = {rh2wf[0] - rowf[0], 0, rh2wf[2] - rowf[2]};
    const double cosang = (a[0] * b[0] + a[2] * b[2]) / (0.958013 * 0.958013);
    EXPECT_NEAR(std::acos(cosang) * 180.0 / pi, 104.50, 5e-3);
    const double mo = 15.9994, mh = 1.00794;
    EXPECT_NEAR((mo * rowf[2] + mh * rh1wf[2] + mh * rh2wf[2]) / (mo + 2 * mh), 0.0, 1e-5);
}

TEST(PairTerm, StoredPowersBelongToSigma)
{
    for (const pair_set& s : {oxygen_carbon, hydrogen_carbon}) {
        EXPECT_NEAR(s.sigma6, std::pow(s.sigma, 6.0), 4e-16 * s.sigma6);
        EXPECT_NEAR(s.sigma12, s.sigma6 * s.sigma6, 4e-16 * s.sigma12);
    }
}

TEST(PairTerm, TakesItsPowersFromTheLibraryPowerFunction)
{
    // Through a volatile pointer the compiler cannot turn the reference's
    // pow into products; repeated multiplication differs in the last bits
    // for many distances, so a rewrite of the pair term would show here.
    double (*volatile power)(double, double) = std::pow;
    int products_differ = 0;
    for (int k = 0; k < 2000; ++k) {
        const double r2 = 2.0 + k * 0.0137;
        const double r = std::sqrt(r2);
        for (const pair_set& s : {oxygen_carbon, hydrogen_carbon}) {
            const double want = s.eps * (s.sigma12 / power(r, 12.0) - s.sigma6 / power(r, 6.0));
            EXPECT_EQ(std::bit_cast<std::uint64_t>(pair_energy(r2, s)), std::bit_cast<std::uint64_t>(want));
            const double r6 = r * r * r * r * r * r;
            products_differ += s.eps * (s.sigma12 / (r6 * r6) - s.sigma6 / r6) != want;
        }
    }
    EXPECT_GT(products_differ, 0);
}

TEST(CageRotation, IsExactlyTheIdentityAtZeroAngles)
{
    const rotation r = matpre({0.0, 0.0, 0.0});
    EXPECT_EQ(r, (rotation{1, 0, 0, 0, 1, 0, 0, 0, 1}));
}

TEST(CageRotation, IsRzRyRzWithBodyAxesAsColumns)
{
    auto rz = [](double a) { return std::array<double, 9>{std::cos(a), std::sin(a), 0, -std::sin(a), std::cos(a), 0, 0, 0, 1}; };
    auto ry = [](double a) { return std::array<double, 9>{std::cos(a), 0, -std::sin(a), 0, 1, 0, std::sin(a), 0, std::cos(a)}; };
    auto mul = [](const std::array<double, 9>& a, const std::array<double, 9>& b) {
        std::array<double, 9> c{};
        for (int i = 0; i < 3; ++i)
            for (int k = 0; k < 3; ++k)
                for (int j = 0; j < 3; ++j) c[i + 3 * k] += a[i + 3 * j] * b[j + 3 * k];
        return c;
    };
    const euler e = {0.7, 1.1, -2.3};
    const auto want = mul(mul(rz(e[0]), ry(e[1])), rz(e[2]));
    const rotation r = matpre(e);
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(r[i], want[i], 1e-15) << "element " << i;
    // A body-frame vector along z lands on the cage direction (phi, theta).
    const point z = rottrn(r, {0, 0, 1}, {0, 0, 0});
    EXPECT_NEAR(z[0], std::cos(e[0]) * std::sin(e[1]), 1e-15);
    EXPECT_NEAR(z[1], std::sin(e[0]) * std::sin(e[1]), 1e-15);
    EXPECT_NEAR(z[2], std::cos(e[1]), 1e-15);
}

TEST(Caleng, AtTheCentreUnrotatedGivesTheTableAndItsSums)
{
    const placement p = place_and_sum({0, 0, 0}, {0, 0, 0});
    EXPECT_EQ(p.o, rowf);
    EXPECT_EQ(p.h1, rh1wf);
    EXPECT_EQ(p.h2, rh2wf);
    EXPECT_EQ(fixed(p.so, 10, 4), "-4.7696");
    EXPECT_EQ(fixed(p.sh1, 10, 4), "-0.7846");
    EXPECT_EQ(fixed(p.sh2, 10, 4), "-0.7884");  // the cage is not symmetric under x -> -x

    std::string detail;
    double energy = 0;
    caleng({0, 0, 0}, energy, {0, 0, 0}, detail);
    EXPECT_EQ(energy, p.energy);
    EXPECT_EQ(energy, (p.so + p.sh1) + p.sh2);
    EXPECT_EQ(detail,
              "    0.000000    0.000000   -0.065638    0.757500    0.000000    0.520862"
              "   -0.757500    0.000000    0.520862           -6.3426           -0.0126\n");
}

TEST(Caleng, PlacesAShiftedAndRotatedMolecule)
{
    const placement p = place_and_sum({deg(60), deg(60), deg(120)}, {0.1, 0.2, 0.3});
    const point o = {0.071578, 0.150771, 0.267181};
    const point h1 = {-0.337273, 0.754650, 0.888438};
    const point h2 = {0.988352, 0.426643, 0.232424};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(p.o[i], o[i], 5e-7);
        EXPECT_NEAR(p.h1[i], h1[i], 5e-7);
        EXPECT_NEAR(p.h2[i], h2[i], 5e-7);
    }
    EXPECT_EQ(fixed(p.energy, 18, 4), "-3.8596");
    EXPECT_EQ(fixed(p.energy / energy_ratio, 18, 4), "-0.0077");
}

TEST(Caleng, FlippedMoleculeNearTheWallIsRepelled)
{
    std::string detail;
    double energy = 0;
    caleng({0.5, 0.5, 0.5}, energy, {deg(300), deg(180), deg(360)}, detail);
    EXPECT_EQ(fixed(energy, 18, 4), "23.2885");
    EXPECT_EQ(fixed(place_and_sum({deg(300), deg(180), deg(360)}, {0.5, 0.5, 0.5}).so, 18, 4), "24.4906");
    EXPECT_EQ(detail.substr(108), "           23.2885            0.0463\n");
}
