// Hand-run timing of the energy scan in-process: the literal loop (one
// caleng per configuration, no memo, one thread) against the scan driver on
// 1 and 2 threads.  Output goes to memory, so this measures computing and
// formatting, not the disk.  Prints the median of several runs of each.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "brantor/scan.hpp"

using namespace brantor;

namespace {

std::size_t sink = 0;

void literal()
{
    std::string detail, report;
    for (int ix = 1; ix <= nshift; ++ix)
        for (int iy = 1; iy <= nshift; ++iy)
            for (int iz = 1; iz <= nshift; ++iz)
                for (int iphi = 1; iphi <= nphi; ++iphi)
                    for (int ithe = 1; ithe <= nthe; ++ithe)
                        for (int ichi = 1; ichi <= nchi; ++ichi) {
                            const point t = {grid_shift(ix), grid_shift(iy), grid_shift(iz)};
                            const euler a = {grid_angle(iphi), grid_angle(ithe), grid_angle(ichi)};
                            double e = 0;
                            caleng(t, e, a, detail);
                            put_report_line(report, t, a, e);
                        }
    sink += detail.size() + report.size();
}

void threaded(int n)
{
    scan(n, [](std::string_view d, std::string_view r) { sink += d.size() + r.size(); });
}

double median_seconds(const std::function<void()>& f, int runs)
{
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const auto a = std::chrono::steady_clock::now();
        f();
        t.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

}  // namespace

// The energies alone, on one thread: the pair sums without any text.
void energies_only()
{
    double acc = 0;
    for (int b = 0; b < nshift * nshift * nshift; ++b) {
        const point t = {grid_shift(b / 36 + 1), grid_shift(b / 6 % 6 + 1), grid_shift(b % 6 + 1)};
        oxygen_memo memo;
        for (int iphi = 1; iphi <= nphi; ++iphi)
            for (int ithe = 1; ithe <= nthe; ++ithe)
                for (int ichi = 1; ichi <= nchi; ++ichi)
                    acc += place_and_sum({grid_angle(iphi), grid_angle(ithe), grid_angle(ichi)}, t, memo).energy;
    }
    sink += acc != 0;
}

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 7;
    const double base = median_seconds(literal, runs);
    std::printf("literal, 1 thread      %.4f s  1.00\n", base);
    const double e = median_seconds(energies_only, runs);
    std::printf("energies only, memo    %.4f s  %.2f\n", e, e / base);
    for (int n : {1, 2}) {
        const double t = median_seconds([n] { threaded(n); }, runs);
        std::printf("scan, %d thread(s)      %.4f s  %.2f\n", n, t, t / base);
    }
    std::printf("(median of %d runs)\n", runs);
}
