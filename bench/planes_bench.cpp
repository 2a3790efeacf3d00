// One theta plane of kelvane for water (temp 10, nslice 128), the fast stage
// against the straightforward evaluation built the same way (the trusted
// Wigner value of every pair, one exp per level and one cosine per term at every point, the four
// copies on whole grids, every value formatted where it is written).  Each
// side includes the Wigner values, the evaluation and the four files.
// Prints the medians of RUNS runs on standard error.
//   planes_bench JMAX [RUNS] [ITHE] [IODEVN] [literal | fourier]
// With "fourier" the stage evaluates the plane by its Fourier series.
// The thread count of the fast stage follows KELVANE_THREADS (default 2).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "kelvane/density/euler_grid.hpp"
#include "kelvane/density/plane_files.hpp"
#include "kelvane/density/plane_stage.hpp"
#include "kelvane/density/plane_text.hpp"
#include "tests/support/density_planes.hpp"
#include "tests/support/density_reference.hpp"

using namespace kelvane;

namespace {

double seconds_since(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void write_all(const std::string& name, const std::string& text)
{
    FILE* f = std::fopen(name.c_str(), "w");
    if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "cannot write %s\n", name.c_str());
        std::exit(2);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: planes_bench JMAX [RUNS] [ITHE] [IODEVN] [literal | fourier]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const int ithe = argc > 3 ? std::atoi(argv[3]) : 90;
    run_args args = test_planes::water(std::atoi(argv[1]), 10, 128, argc > 4 ? std::atoi(argv[4]) : -1, ithe);
    const bool literal = argc > 5 && std::string(argv[5]) == "literal";
    if (argc > 5 && std::string(argv[5]) == "fourier") args.evaluation = plane_evaluation::fourier_series;
    const double tau = test_planes::run_tau(args);
    const char* threads_set = std::getenv("KELVANE_THREADS");
    const int threads = threads_set ? std::atoi(threads_set) : 2;
    const rotlev lev = test_planes::run_levels(args);

    // The whole plane by the stage, and its Wigner values and evaluation
    // alone by the same evaluation; the files' share is the difference.
    // The first plane of a run also makes the angle-independent factors of
    // the Wigner series that later planes reuse; it is reported apart.
    plane_text_output text(args, threads, region_points);
    plane_stage_ptr stage = reserve_plane_stage(args, *block_selection::of(args.iodevn), threads, text);
    plan_levels(*stage, lev, tau);
    const auto evaluation = test_planes::planned(args, lev, tau, threads);
    routines::wigner_plane wigner;
    silent_progress silent;
    std::vector<double> compute, whole;
    for (int r = 0; r <= runs; ++r) {
        auto t = std::chrono::steady_clock::now();
        test_planes::fill_tables(wigner, *evaluation, ithe, threads);
        test_planes::evaluate(*evaluation, wigner);
        compute.push_back(seconds_since(t));
        t = std::chrono::steady_clock::now();
        write_plane(*stage, ithe, silent, text);
        whole.push_back(seconds_since(t));
    }
    const double first = whole[0];
    compute.erase(compute.begin());
    whole.erase(whole.begin());
    const double fast = median(whole);
    std::fprintf(stderr, "jmax %3d ithe %3d iodevn %2d %s:    %8.4f s a plane (Wigner + evaluation %.4f s, files %.4f s), median of %d; first plane of a run %.4f s\n",
                 args.jmax, ithe, args.iodevn,
                 args.evaluation == plane_evaluation::fourier_series ? "fourier" : "fast", fast, median(compute),
                 std::max(0.0, fast - median(compute)), runs, first);

    if (literal) {
        std::vector<double> wig_t, eval_t, file_t, total_t;
        std::vector<double> wigtab(literal_wigner_size(args.jmax));
        std::vector<double> rho(plane_cells), eng(plane_cells), esq(plane_cells);
        std::string buffers[4];
        const std::string name = plane_file_name(ithe);
        const char* suffix[4] = {"", "_rho", "_eng", "_esq"};
        for (int r = 0; r < runs; ++r) {
            auto t = std::chrono::steady_clock::now();
            literal_wigner_plane(args.jmax, ithe, wigtab);
            wig_t.push_back(seconds_since(t));
            t = std::chrono::steady_clock::now();
            literal_plane(lev, tau, args.iodevn, wigtab, rho, eng, esq);
            eval_t.push_back(seconds_since(t));
            t = std::chrono::steady_clock::now();
            literal_plane_text(args, ithe, rho, eng, esq, buffers);
            for (int k = 0; k < 4; ++k) write_all(name + suffix[k], buffers[k]);
            file_t.push_back(seconds_since(t));
            total_t.push_back(wig_t.back() + eval_t.back() + file_t.back());
        }
        const double lit = median(total_t);
        std::fprintf(stderr, "jmax %3d ithe %3d iodevn %2d literal: %8.4f s (Wigner %.4f s, evaluation %.4f s, files %.4f s), median of %d\n",
                     args.jmax, ithe, args.iodevn, lit, median(wig_t), median(eval_t), median(file_t), runs);
        std::fprintf(stderr, "jmax %3d speed-up %.1fx a plane, %.1fx for the first plane of a run\n", args.jmax,
                     lit / fast, lit / first);
    }
    return 0;
}
