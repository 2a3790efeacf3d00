// Speed of the text module's hot paths: E15.8 fields (the density tables),
// F12.6/F18.4 fields (the scan's detail lines), list-directed reals, and the
// record reader's number parser, each against the straightforward version
// kept in the tests.  Run by hand:
//   cmake -S . -B build-bench -DKELVANE_BENCH=ON && cmake --build build-bench --target textio_bench
//   build-bench/bin/textio_bench [values]
// Prints the median of seven runs in nanoseconds of process CPU time per
// field (CPU time rather than wall time: the machine is shared).
#include "tests/textio/reference_fields.hpp"
#include "textio/textio.hpp"

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

volatile std::size_t sink;

double cpu_ns()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return 1e9 * static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec);
}

template <class F>
double median_ns_per_item(std::size_t items, F&& body)
{
    std::vector<double> runs;
    for (int r = 0; r < 7; ++r) {
        double t0 = cpu_ns();
        body();
        double used = cpu_ns() - t0;
        runs.push_back(used / static_cast<double>(items));
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

std::vector<double> magnitudes(std::size_t n, double lo, double hi, std::uint64_t seed)
{
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> expo(lo, hi);
    std::vector<double> v(n);
    for (double& x : v) x = (rng() % 2 ? -1 : 1) * std::pow(10.0, expo(rng));
    return v;
}

// Lines of `per_line` fields into one reused string, as the writers do.
template <class Field>
std::size_t format_lines(const std::vector<double>& values, std::size_t per_line, Field field)
{
    std::string line;
    std::size_t total = 0;
    for (std::size_t i = 0; i < values.size(); i += per_line) {
        line.clear();
        for (std::size_t k = i; k < std::min(values.size(), i + per_line); ++k) field(line, values[k]);
        total += line.size();
    }
    return total;
}

void report(const char* what, double fast, double slow)
{
    std::printf("%-34s %8.1f ns  reference %8.1f ns  ratio %5.2f\n", what, fast, slow, slow / fast);
}

}  // namespace

int main(int argc, char** argv)
{
    std::size_t n = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    std::printf("%zu values per run, median of 7 runs, CPU time\n", n);

    // density-table values: 3 per record, magnitudes from 1e-30 to 1e3
    std::vector<double> dens = magnitudes(n, -30, 3, 1);
    report("E15.8 (density records)",
           median_ns_per_item(n, [&] { sink = format_lines(dens, 3, [](std::string& s, double v) {
                                     textio::put_e(s, v, 15, 8);
                                 }); }),
           median_ns_per_item(n, [&] { sink = format_lines(dens, 3, [](std::string& s, double v) {
                                     s += reference::e(v, 15, 8);
                                 }); }));

    // detail-line coordinates: 9 per line, magnitudes 1e-3 to 1e1
    std::vector<double> xyz = magnitudes(n, -3, 1, 2);
    report("F12.6 (coordinates)",
           median_ns_per_item(n, [&] { sink = format_lines(xyz, 9, [](std::string& s, double v) {
                                     textio::put_f(s, v, 12, 6);
                                 }); }),
           median_ns_per_item(n, [&] { sink = format_lines(xyz, 9, [](std::string& s, double v) {
                                     s += reference::f(v, 12, 6);
                                 }); }));

    std::vector<double> energy = magnitudes(n, -1, 3, 3);
    report("F18.4 (energies)",
           median_ns_per_item(n, [&] { sink = format_lines(energy, 2, [](std::string& s, double v) {
                                     textio::put_f(s, v, 18, 4);
                                 }); }),
           median_ns_per_item(n, [&] { sink = format_lines(energy, 2, [](std::string& s, double v) {
                                     s += reference::f(v, 18, 4);
                                 }); }));

    std::vector<double> mean = magnitudes(n, -2, 6, 4);
    report("F20.8 (means)",
           median_ns_per_item(n, [&] { sink = format_lines(mean, 6, [](std::string& s, double v) {
                                     textio::put_f(s, v, 20, 8);
                                 }); }),
           median_ns_per_item(n, [&] { sink = format_lines(mean, 6, [](std::string& s, double v) {
                                     s += reference::f(v, 20, 8);
                                 }); }));

    // list-directed reals, against printf with 17 digits
    std::size_t nl = n / 4;
    std::vector<double> lev(mean.begin(), mean.begin() + static_cast<std::ptrdiff_t>(nl));
    report("free_line real",
           median_ns_per_item(nl, [&] {
               std::size_t t = 0;
               for (double v : lev) t += textio::free_line().real(v).str().size();
               sink = t;
           }),
           median_ns_per_item(nl, [&] {
               std::size_t t = 0;
               char buf[64];
               for (double v : lev) t += static_cast<std::size_t>(std::snprintf(buf, sizeof buf, " %25.16E", v));
               sink = t;
           }));

    // record numbers: parse_real against strtod on the same tokens
    std::vector<std::string> tokens;
    tokens.reserve(n);
    char buf[64];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, i % 2 ? "%.10E" : "%.8f", mean[i]);
        tokens.emplace_back(buf);
    }
    report("parse_real (record numbers)",
           median_ns_per_item(n, [&] {
               double t = 0;
               for (const std::string& s : tokens) t += *textio::parse_real(s);
               sink = static_cast<std::size_t>(t != 0);
           }),
           median_ns_per_item(n, [&] {
               double t = 0;
               for (const std::string& s : tokens) t += std::strtod(s.c_str(), nullptr);
               sink = static_cast<std::size_t>(t != 0);
           }));
    return 0;
}
