// Scan over the displacement and orientation grid.
#include "brantor/scan.hpp"

#include <mutex>
#include <vector>

#include "routines/parallel.hpp"
#include "textio/textio.hpp"

namespace brantor {

double grid_shift(int n)
{
    return (n - 1) * 0.1 + 0.0;
}

double grid_angle(int n)
{
    return ((n - 1) * 60.0) * pi / 180.0 + 0.0;
}

double degrees(double angle)
{
    return (180.0 * angle) / pi;
}

void put_report_line(std::string& out, const point& t, const euler& angles, double energy)
{
    for (double v : t) textio::put_f(out, v, 6, 2);
    out += "  phi =";
    textio::put_f(out, degrees(angles[0]), 5, 1);
    out += "  the =";
    textio::put_f(out, degrees(angles[1]), 5, 1);
    out += "  chi =";
    textio::put_f(out, degrees(angles[2]), 5, 1);
    out += "  energy =";
    textio::put_f(out, energy, 18, 4);
    out += '\n';
}

namespace {

// A block is one displacement with all its nphi * nthe * nchi orientations.
constexpr int nblock = nshift * nshift * nshift;
constexpr std::size_t detail_line_size = 145;
constexpr std::size_t report_line_size = 83;

struct block_text {
    std::string detail;
    std::string report;
};

void compute_block(int b, block_text& text)
{
    const point t = {grid_shift(b / (nshift * nshift) + 1), grid_shift(b / nshift % nshift + 1),
                     grid_shift(b % nshift + 1)};
    constexpr int n = nphi * nthe * nchi;
    text.detail.clear();
    text.report.clear();
    text.detail.reserve(n * detail_line_size);
    text.report.reserve(n * report_line_size);
    oxygen_memo memo;
    for (int iphi = 1; iphi <= nphi; ++iphi)
        for (int ithe = 1; ithe <= nthe; ++ithe)
            for (int ichi = 1; ichi <= nchi; ++ichi) {
                const euler angles = {grid_angle(iphi), grid_angle(ithe), grid_angle(ichi)};
                double energy;
                caleng(t, energy, angles, text.detail, memo);
                put_report_line(text.report, t, angles, energy);
            }
}

}  // namespace

void scan(int nthreads, const block_writer& write)
{
    // Blocks are computed by whichever thread is free; a finished block waits
    // in its slot, and the thread that finds the next block to write ready
    // writes it and every finished block after it, in grid order, releasing
    // each once written.  Only one thread writes at a time.
    std::vector<block_text> texts(nblock);
    std::vector<char> ready(nblock, 0);
    std::mutex lock_of_slots;
    int next_to_write = 0;
    bool writing = false;
    routines::for_each_item(nthreads, nblock, [&](int, int b) {
        block_text text;
        compute_block(b, text);
        std::unique_lock lock(lock_of_slots);
        texts[b] = std::move(text);
        ready[b] = 1;
        if (writing) return;   // the writer will come to it
        writing = true;
        while (next_to_write < nblock && ready[next_to_write]) {
            const block_text out = std::move(texts[next_to_write]);
            texts[next_to_write] = block_text{};
            ++next_to_write;
            lock.unlock();
            write(out.detail, out.report);
            lock.lock();
        }
        writing = false;
    });
}

}  // namespace brantor
