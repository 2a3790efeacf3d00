// Scan over the displacement and orientation grid.
#include "brantor/scan.hpp"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

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
    if (nthreads <= 1) {
        block_text text;
        for (int b = 0; b < nblock; ++b) {
            compute_block(b, text);
            write(text.detail, text.report);
        }
        return;
    }

    // Workers take blocks in increasing order; the calling thread writes them
    // in that order as they complete and releases each one once written.  A
    // worker that runs out of memory stops them all, and the calling thread
    // reports it.
    std::vector<block_text> texts(nblock);
    std::vector<char> ready(nblock, 0);
    std::mutex m;
    std::condition_variable done;
    std::atomic<int> next{0};
    std::atomic<bool> out_of_memory{false};

    auto work = [&] {
        for (int b; !out_of_memory && (b = next.fetch_add(1)) < nblock;) {
            try {
                compute_block(b, texts[b]);
            } catch (const std::bad_alloc&) {
                out_of_memory = true;
            }
            {
                std::lock_guard lock(m);
                ready[b] = 1;
            }
            done.notify_all();
        }
    };
    // A thread that cannot be started (no room for its stack under a memory
    // limit) leaves the blocks to the others; with none, the scan runs here.
    std::vector<std::jthread> workers;
    for (int i = 0; i < nthreads; ++i) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    if (workers.empty()) return scan(1, write);

    for (int b = 0; b < nblock; ++b) {
        {
            std::unique_lock lock(m);
            done.wait(lock, [&] { return ready[b] != 0 || out_of_memory; });
        }
        if (out_of_memory) {
            // The workers finish the block in hand and take no other.
            workers.clear();
            throw std::bad_alloc();
        }
        write(texts[b].detail, texts[b].report);
        texts[b] = block_text{};
    }
}

}  // namespace brantor
