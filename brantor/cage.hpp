// The physical model of the scan: a rigid water molecule in its body frame,
// the rigid 60-carbon cage in the cage frame, the z-y-z rotation that places
// the molecule, and its interaction energy with the cage as a sum of
// atom-pair terms  eps * (sigma^12 / r^12 - sigma^6 / r^6).
#pragma once

#include <array>
#include <string>

namespace brantor {

using point = std::array<double, 3>;     // x, y, z in angstrom
using euler = std::array<double, 3>;     // phi, theta, chi in radians
using rotation = std::array<double, 9>;  // R11 R21 R31 R12 R22 R32 R13 R23 R33

// Body frame: origin at the centre of mass, molecule in the xz plane,
// twofold axis along z, O-H 0.958013 A, H-O-H 104.50 degrees.
inline constexpr point rowf = {0.0, 0.0, -0.06563807};
inline constexpr point rh1wf = {0.7575, 0.0, 0.52086193};
inline constexpr point rh2wf = {-0.7575, 0.0, 0.52086193};

// The cage, three blocks of 60: all x, then all y, then all z.  Carbon j
// (1-based) is at places j-1, 59+j, 119+j.  The numbering fixes the order of
// the pair sums and therefore the last bits of every energy.
inline constexpr int ncarbon = 60;
extern const std::array<double, 3 * ncarbon> rcwf;

// One atom-carbon parameter set.  The two powers of sigma are kept as the
// numbers they were stored as, not recomputed.
struct pair_set {
    double eps;
    double sigma;
    double sigma12;
    double sigma6;
};
inline constexpr pair_set oxygen_carbon = {0.4156, 3.372, 2160980.218699099, 1470.0272850185804};
inline constexpr pair_set hydrogen_carbon = {0.1024, 2.64, 114616.49472103005, 338.5505792655361};

// The detail line reports the energy once more divided by this ratio.
inline constexpr double energy_ratio = 503.0;

rotation matpre(const euler& angles);

// q = t + R p, row by row: t_i, then + p1 R_i1, + p2 R_i2, + p3 R_i3.
point rottrn(const rotation& r, const point& p, const point& t);

// One pair term at distance r from its squared distance; r^6 and r^12 come
// from the library's general power function, never from products of r.
double pair_energy(double r2, const pair_set& set);

// Sum of the pair terms of one placed atom over the 60 carbons, in table order.
double atom_sum(const point& atom, const pair_set& set);

// The three placed atoms and the three per-atom sums of one configuration.
struct placement {
    point o, h1, h2;
    double so, sh1, sh2;
    double energy;  // (so + sh1) + sh2
};

placement place_and_sum(const euler& angles, const point& t);

// The oxygen lies on the body z axis, so its placed position does not depend
// on chi; a scan that runs chi innermost meets the same oxygen position seven
// times.  The memo keeps the last oxygen position and its sum and reuses the
// sum only when the new position is bit for bit the same, so the energies are
// those of place_and_sum exactly.
struct oxygen_memo {
    bool valid = false;
    point o{};
    double so = 0.0;
};

placement place_and_sum(const euler& angles, const point& t, oxygen_memo& memo);

// "(9F12.6,2F18.4)": the three placed atoms, the energy and energy / 503.
void put_detail_line(std::string& out, const placement& p);

// Interaction energy of the molecule with its origin at t and orientation
// angles; the detail line of the configuration is appended to detail.
void caleng(const point& t, double& energy, const euler& angles, std::string& detail);
void caleng(const point& t, double& energy, const euler& angles, std::string& detail,
            oxygen_memo& memo);

}  // namespace brantor
