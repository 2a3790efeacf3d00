#include "routines/rotmat.hpp"

#include <cmath>
#include <cstdlib>

namespace routines {

double cplus(int j, int k)
{
    if (k >= j || k < -j) return 0.0;
    const double dj = j;
    const double dk = k;
    return std::sqrt(dj * (dj + 1.0) - dk * (dk + 1.0));
}

double cminus(int j, int k)
{
    if (k > j || k <= -j) return 0.0;
    const double dj = j;
    const double dk = k;
    return std::sqrt(dj * (dj + 1.0) - dk * (dk - 1.0));
}

// Jx^2 and Jy^2 are (J+^2 + J-^2 +- (J+J- + J-J+)) / 4 up to sign, so the
// Hamiltonian only joins K to K and to K +- 2; the K +- 2 part carries (X - Y) / 4.
double rotmat(int j, int k, int kp, double x, double z, double y)
{
    const int dk = std::abs(k - kp);
    if (dk != 0 && dk != 2) return 0.0;
    if (k == kp) {
        const double c = (x + y) * 0.5;
        return (z - c) * static_cast<double>(k * k) + c * static_cast<double>(j * (j + 1));
    }
    if (k == kp + 2) return (x - y) * 0.25 * cplus(j, kp) * cplus(j, kp + 1);
    return (x - y) * 0.25 * cminus(j, kp) * cminus(j, kp - 1);
}

double rotma2(int j, int k, int kp, double z, double x, double y)
{
    const int dk = std::abs(k - kp);
    if (dk != 0 && dk != 2) return 0.0;
    if (k == kp)
        return (x + y) * 0.5 * static_cast<double>(j * (j + 1) - k * k) +
               static_cast<double>(k * k) * z;
    if (k == kp + 2) return (x - y) * 0.25 * cplus(j, kp) * cplus(j, kp + 1);
    return (x - y) * 0.25 * cminus(j, kp) * cminus(j, kp - 1);
}

int kdel(int i, int j)
{
    const int ip = i + 1000;
    const int jp = j + 1000;
    const int s = ip + jp;
    const int d = std::abs(ip - jp);
    return (s - d) / (s + d);
}

}  // namespace routines
