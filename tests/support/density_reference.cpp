#include "tests/support/density_reference.hpp"

#include <cmath>
#include <vector>

#include "kelvane/density/euler_grid.hpp"
#include "kelvane/density/plane_files.hpp"
#include "routines/wigner/recursion.hpp"
#include "tests/support/wigner_reference.hpp"
#include "textio/textio.hpp"

namespace kelvane {

std::size_t literal_wigner_size(int jmax) { return wigner_reference::plane_size(jmax); }

namespace {

struct block_sums { double r, u, v; };

block_sums literal_block(const rotlev& levels, parity par, double tau, std::span<const double> wigtab,
                         double phi, double chi)
{
    const int jmax = levels.jmax;
    const block_levels& block = levels.of(par);
    double r = 0, u = 0, v = 0;
    for (int j = 0; j <= jmax; ++j) {
        const int n = routines::block_order(j, par);
        const int k0 = routines::block_first_k(j, par);
        const double w = (2 * j + 1) / 78.95683520871486;
        double s0 = 0, s1 = 0, s2 = 0;
        for (int i = 0; i < n; ++i) {
            const double e = block.level[static_cast<std::size_t>(block.level_start[j] + i)];
            const double* c = &block.vec[static_cast<std::size_t>(block.vec_start[j] + i * n)];
            const double b = std::exp(-tau * e);
            if (w * b < 1e-16) continue;
            double t = 0;
            for (int a = 0; a < n; ++a) {
                const int k1 = k0 + 2 * a;
                double inner = 0;
                for (int z = 0; z < n; ++z) {
                    const int k2 = k0 + 2 * z;
                    inner = inner + std::cos(k1 * phi + k2 * chi) * c[z] * wigtab[wigner_reference::plane_at(jmax, j, k1, k2)];
                }
                t = t + c[a] * inner;
            }
            s0 = s0 + t * b;
            s1 = s1 + t * b * e;
            s2 = s2 + t * b * e * e;
        }
        r = r + s0 * w;
        u = u + s1 * w;
        v = v + s2 * w;
    }
    return {r, u, v};
}

}  // namespace

void literal_wigner_plane(int jmax, int ithe, std::span<double> wigtab)
{
    const double theta = wigner_reference::radians(ithe);
    const wigner_reference::wigd_angle_tables t(jmax, theta);
    std::vector<double> work(routines::wigner::sweep_work_size(jmax));
    wigner_reference::wigd_trusted_plane(jmax, theta, t.view(), wigtab, work, false);
}

void series_wigner_plane(int jmax, int ithe, std::span<double> wigtab)
{
    // The tabulated series has the bits of wigd (tests/routines), from the
    // tables of the angle made once.
    const wigner_reference::wigd_angle_tables t(jmax, wigner_reference::radians(ithe));
    for (int j = 0; j <= jmax; ++j)
        for (int k1 = -j; k1 <= j; ++k1)
            for (int k2 = -j; k2 <= j; ++k2)
                wigtab[wigner_reference::plane_at(jmax, j, k1, k2)] = wigner_reference::wigd_tabulated(j, k1, k2, t.view());
}

point_values literal_point(const rotlev& levels, double tau, int iodevn,
                           std::span<const double> wigtab, int iphi, int ichi)
{
    const double phi = iphi * 3.141592653589793 / 180;
    const double chi = ichi * 3.141592653589793 / 180;
    if (iodevn == 0 || iodevn == 1) {
        const block_sums s = literal_block(levels, iodevn == 1 ? parity::odd : parity::even, tau, wigtab, phi, chi);
        double e = 0, q = 0;
        if (std::fabs(s.r) > 1e-16) {
            e = s.u / s.r;
            q = s.v / s.r;
        }
        return {s.r, e, q};
    }
    const block_sums ev = literal_block(levels, parity::even, tau, wigtab, phi, chi);
    const block_sums od = literal_block(levels, parity::odd, tau, wigtab, phi, chi);
    double e_ev = 0, q_ev = 0, e_od = 0, q_od = 0;
    if (std::fabs(ev.r) > 1e-16) {
        e_ev = ev.u / ev.r;
        q_ev = ev.v / ev.r;
    }
    if (std::fabs(od.r) > 1e-16) {
        e_od = od.u / od.r;
        q_od = od.v / od.r;
    }
    const double rho = od.r + ev.r;
    if (std::fabs(rho) < 1e-16) return {rho, 0, 0};
    return {rho, (e_od * od.r + e_ev * ev.r) / rho, (q_od * od.r + q_ev * ev.r) / rho};
}

void literal_plane(const rotlev& levels, double tau, int iodevn, std::span<const double> wigtab,
                   std::span<double> rho, std::span<double> eng, std::span<double> esq)
{
    for (int p = 0; p < plane_side; ++p)
        for (int c = 0; c <= region_last_chi(p); ++c) {
            const point_values v = literal_point(levels, tau, iodevn, wigtab, p, c);
            rho[static_cast<std::size_t>(p * plane_side + c)] = v.rho;
            eng[static_cast<std::size_t>(p * plane_side + c)] = v.eng;
            esq[static_cast<std::size_t>(p * plane_side + c)] = v.esq;
        }
    symmetry_copies([&](int to, int from) {
        rho[static_cast<std::size_t>(to)] = rho[static_cast<std::size_t>(from)];
        eng[static_cast<std::size_t>(to)] = eng[static_cast<std::size_t>(from)];
        esq[static_cast<std::size_t>(to)] = esq[static_cast<std::size_t>(from)];
    });
}

void literal_plane_text(const run_args& args, int ithe, std::span<const double> rho,
                        std::span<const double> eng, std::span<const double> esq,
                        std::string (&buffers)[4])
{
    for (auto& b : buffers) b.clear();
    if (ithe == 0) buffers[0] = plane_header(args);
    for (int p = 0; p < plane_side; ++p)
        for (int c = 0; c < plane_side; ++c) {
            const auto at = static_cast<std::size_t>(p * plane_side + c);
            std::string& all = buffers[0];
            textio::put_i(all, ithe, 5);
            textio::put_i(all, p, 5);
            textio::put_i(all, c, 5);
            for (double v : {rho[at], eng[at], esq[at]}) {
                all += ' ';
                textio::put_e(all, v, 15, 8);
            }
            all += '\n';
            textio::put_e(buffers[1], rho[at], 15, 8);
            buffers[1] += '\n';
            textio::put_e(buffers[2], eng[at], 15, 8);
            buffers[2] += '\n';
            textio::put_e(buffers[3], esq[at], 15, 8);
            buffers[3] += '\n';
        }
}

}  // namespace kelvane
