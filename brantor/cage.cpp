// Geometry, cage table and pair energy of the water-in-cage model.
#include "brantor/cage.hpp"

#include <bit>
#include <cmath>
#include <cstdint>

#include "textio/textio.hpp"

namespace brantor {

// Carbon positions of the cage (A).  Pentagons 1 6 7 8 9 and 49 50 51 59 60
// close the cage at z = -/+3.32556 on its fivefold axis; every carbon lies
// 3.54841 A from the centre; bonds are 1.391 A (30) and 1.455 A (60).
const std::array<double, 3 * ncarbon> rcwf = {
    // x
    1.00131784714278, 1.95859147283048, 2.95990931997326,
    2.95990931997326, 1.95859147283048, 1.00131784714278,
    -0.38246938406667, -1.23769692615222, -0.38246938406667,
    -0.748115372545527, 0.253202474597252, 1.57612208876381,
    2.34106085689715, 3.1962883989827, 3.42227004771268,
    3.42227004771268, 3.1962883989827, 2.34106085689715,
    1.57612208876381, 0.253202474597251, -0.748115372545527,
    -1.98581229869775, -2.80342158463658, -2.42095220056991,
    -2.80342158463658, -1.98581229869774, -1.74943321968831,
    -0.365645988478857, 0.365645988478858, 1.74943321968831,
    1.98581229869775, 2.80342158463658, 2.42095220056991,
    2.80342158463658, 1.98581229869774, 1.74943321968831,
    0.365645988478857, -0.365645988478858, -1.74943321968831,
    -2.34106085689715, -3.1962883989827, -3.42227004771268,
    -3.42227004771268, -3.1962883989827, -2.34106085689715,
    -1.57612208876381, -0.253202474597252, 0.748115372545527,
    0.38246938406667, 1.23769692615222, 0.38246938406667,
    0.748115372545527, -0.253202474597252, -1.57612208876381,
    -1.95859147283048, -2.95990931997326, -2.95990931997326,
    -1.95859147283048, -1.00131784714278, -1.00131784714278,
    // y
    0.7275, 1.423, 0.6955,
    -0.6955, -1.423, -0.7275,
    -1.17712, 0.0, 1.17712,
    2.30246, 3.02996, 2.60012,
    2.60012, 1.423, 0.7275,
    -0.7275, -1.423, -2.60012,
    -2.60012, -3.02996, -2.30246,
    -2.30246, -1.17712, 0.0,
    1.17712, 2.30246, 3.02996,
    3.47958, 3.47958, 3.02996,
    2.30246, 1.17712, 0.0,
    -1.17712, -2.30246, -3.02996,
    -3.47958, -3.47958, -3.02996,
    -2.60012, -1.423, -0.7275,
    0.7275, 1.423, 2.60012,
    2.60012, 3.02996, 2.30246,
    1.17712, 0.0, -1.17712,
    -2.30246, -3.02996, -2.60012,
    -1.423, -0.6955, 0.6955,
    1.423, 0.7275, -0.7275,
    // z
    -3.32555530845212, -2.5942633314944, -1.82932456336106,
    -1.82932456336106, -2.5942633314944, -3.32555530845212,
    -3.32555530845212, -3.32555530845212, -3.32555530845212,
    -2.5942633314944, -1.82932456336106, -1.82932456336106,
    -0.591627637208844, -0.591627637208844, 0.591627637208844,
    0.591627637208844, -0.591627637208844, -0.591627637208844,
    -1.82932456336106, -1.82932456336106, -2.5942633314944,
    -1.8293245633616, -1.8293245633616, -2.5942633314944,
    -1.82932456336106, -1.82932456336106, -0.591627637208844,
    -0.591627637208844, 0.591627637208844, 0.591627637208844,
    1.82932456336106, 1.82932456336106, 2.5942633314944,
    1.82932456336106, 1.82932456336106, 0.591627637208844,
    0.591627637208844, -0.591627637208844, -0.591627637208844,
    0.591627637208844, 0.591627637208844, -0.591627637208844,
    -0.591627637208844, 0.591627637208844, 0.591627637208844,
    1.82932456336106, 1.82932456336106, 2.5942633314944,
    3.32555530845212, 3.32555530845212, 3.32555530845212,
    2.5942633314944, 1.82932456336106, 1.82932456336106,
    2.5942633314944, 1.82932456336106, 1.82932456336106,
    2.5942633314944, 3.32555530845212, 3.32555530845212,
};

rotation matpre(const euler& angles)
{
    const double cphi = std::cos(angles[0]);
    const double sphi = std::sin(angles[0]);
    const double cthe = std::cos(angles[1]);
    const double sthe = std::sin(angles[1]);
    const double cchi = std::cos(angles[2]);
    const double schi = std::sin(angles[2]);
    // R = Rz(phi) Ry(theta) Rz(chi): the columns are the body axes seen from
    // the cage frame.
    return {
        cphi * cthe * cchi - sphi * schi,
        cphi * schi + sphi * cthe * cchi,
        -sthe * cchi,
        -cphi * cthe * schi - sphi * cchi,
        cphi * cchi - sphi * cthe * schi,
        sthe * schi,
        cphi * sthe,
        sphi * sthe,
        cthe,
    };
}

point rottrn(const rotation& r, const point& p, const point& t)
{
    point q;
    for (int i = 0; i < 3; ++i) {
        double v = t[i];
        v = v + p[0] * r[i];
        v = v + p[1] * r[3 + i];
        v = v + p[2] * r[6 + i];
        q[i] = v;
    }
    return q;
}

double pair_energy(double r2, const pair_set& set)
{
    const double r = std::sqrt(r2);
    const double r6 = std::pow(r, 6.0);
    const double r12 = std::pow(r, 12.0);
    return set.eps * (set.sigma12 / r12 - set.sigma6 / r6);
}

double atom_sum(const point& atom, const pair_set& set)
{
    double sum = 0.0;
    for (int j = 0; j < ncarbon; ++j) {
        // Squared distance summed x, y, z from zero: the order is part of
        // the result's last bits.
        double r2 = 0.0;
        const double dx = atom[0] - rcwf[j];
        r2 = r2 + dx * dx;
        const double dy = atom[1] - rcwf[ncarbon + j];
        r2 = r2 + dy * dy;
        const double dz = atom[2] - rcwf[2 * ncarbon + j];
        r2 = r2 + dz * dz;
        sum = sum + pair_energy(r2, set);
    }
    return sum;
}

namespace {

bool same_bits(const point& a, const point& b)
{
    for (int i = 0; i < 3; ++i)
        if (std::bit_cast<std::uint64_t>(a[i]) != std::bit_cast<std::uint64_t>(b[i])) return false;
    return true;
}

placement place_hydrogens(const rotation& r, const point& t, const point& o, double so)
{
    placement p;
    p.o = o;
    p.so = so;
    p.h1 = rottrn(r, rh1wf, t);
    p.h2 = rottrn(r, rh2wf, t);
    p.sh1 = atom_sum(p.h1, hydrogen_carbon);
    p.sh2 = atom_sum(p.h2, hydrogen_carbon);
    p.energy = (p.so + p.sh1) + p.sh2;
    return p;
}

}  // namespace

placement place_and_sum(const euler& angles, const point& t)
{
    const rotation r = matpre(angles);
    const point o = rottrn(r, rowf, t);
    return place_hydrogens(r, t, o, atom_sum(o, oxygen_carbon));
}

placement place_and_sum(const euler& angles, const point& t, oxygen_memo& memo)
{
    const rotation r = matpre(angles);
    const point o = rottrn(r, rowf, t);
    if (!memo.valid || !same_bits(memo.o, o)) {
        memo.o = o;
        memo.so = atom_sum(o, oxygen_carbon);
        memo.valid = true;
    }
    return place_hydrogens(r, t, o, memo.so);
}

void put_detail_line(std::string& out, const placement& p)
{
    for (const point* a : {&p.o, &p.h1, &p.h2})
        for (double v : *a) textio::put_f(out, v, 12, 6);
    textio::put_f(out, p.energy, 18, 4);
    textio::put_f(out, p.energy / energy_ratio, 18, 4);
    out += '\n';
}

void caleng(const point& t, double& energy, const euler& angles, std::string& detail)
{
    const placement p = place_and_sum(angles, t);
    energy = p.energy;
    put_detail_line(detail, p);
}

void caleng(const point& t, double& energy, const euler& angles, std::string& detail,
            oxygen_memo& memo)
{
    const placement p = place_and_sum(angles, t, memo);
    energy = p.energy;
    put_detail_line(detail, p);
}

}  // namespace brantor
