// kelvane-mpi: a kelvane run whose theta planes are shared out over the
// ranks of an MPI job
//   mpirun -np N kelvane-mpi temp nslice iodevn ithe1 ithe2 ax az ay jmax
//
// Rank 0 reads the arguments and runs the level stage with its report and its
// stops, as kelvane does; the other ranks wait for its verdict and then
// compute the same levels with their output discarded (the stage is
// deterministic, so every rank holds the same bits).  Each rank then computes
// and writes its share of the planes; rank 0 prints each plane's file name,
// in plane order, once the plane's files are in place.
#include <mpi.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "kelvane/command_line.hpp"
#include "kelvane/levels.hpp"
#include "kelvane/plane_files.hpp"
#include "kelvane/mpi/plane_share.hpp"
#include "kelvane/planes.hpp"
#include "kelvane/mpi/quiet_stdout.hpp"
#include "kelvane/rotcalc.hpp"
#include "kelvane/single_plane.hpp"
#include "textio/textio.hpp"

namespace {

using namespace kelvane;

enum class phase { level_stage, planes, finished };
phase current = phase::level_stage;
int rank = 0;

// Broadcast by rank 0 after the level stage: go on with the planes, or end
// with this exit status.
constexpr int verdict_go = -1;
constexpr int tag_plane_complete = 1;

// Every ending of a rank passes here with its exit status: the normal end,
// and the stops and input/output failures that end the process from inside
// the shared stages.
void on_ending(int status, void*)
{
    switch (current) {
    case phase::level_stage:
        if (rank != 0) break;
        // A stop or failure of the level stage (or the help text): the other
        // ranks, waiting for the verdict, end with the same status and
        // without a word, so the message stands once.
        MPI_Bcast(&status, 1, MPI_INT, 0, MPI_COMM_WORLD);
        MPI_Finalize();
        return;
    case phase::planes:
        break;
    case phase::finished:
        MPI_Finalize();
        return;
    }
    // One rank failing while the others work ends the whole job at once.  The
    // planes completed so far stand whole under their names; a plane in work
    // has at most its temporary files.
    MPI_Abort(MPI_COMM_WORLD, status != 0 ? status : 1);
}

// Each rank evaluates its planes with KELVANE_THREADS threads; unless the
// user says otherwise, the ranks of one node share its processors evenly.
void default_threads_per_rank()
{
    MPI_Comm node;
    MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, 0, MPI_INFO_NULL, &node);
    int local = 1;
    MPI_Comm_size(node, &local);
    MPI_Comm_free(&node);
    const char* set = std::getenv("KELVANE_THREADS");
    if (set && *set) return;
    const int hardware = static_cast<int>(std::thread::hardware_concurrency());
    const int threads = std::clamp(hardware / std::max(local, 1), 1, 256);
    ::setenv("KELVANE_THREADS", std::to_string(threads).c_str(), 1);
}

void make_plane_quietly(plane_stage& stage, const run_args& args, int ithe)
{
    const int saved = rank == 0 ? silence_stdout() : -1;
    write_plane(stage, args, ithe);
    if (saved >= 0) restore_stdout(saved);
}

// Rank 0: its own planes, and between them the announcements of the planes
// completed anywhere, in plane order; then it waits for the rest.
void planes_of_rank_zero(plane_stage& stage, const run_args& args, const plane_range& range, int ranks)
{
    plane_announcer announcer = start_announcer(range);
    std::vector<int> ready;
    auto complete = [&](int ithe) {
        if (!mark_complete(announcer, ithe, ready))
            textio::io_failure("kelvane-mpi: plane " + std::to_string(ithe) + " reported complete twice");
        for (const int p : ready) textio::out_line(plane_file_name(p));
        if (!ready.empty()) textio::flush_out();
        ready.clear();
    };
    auto receive = [&] {
        int ithe = 0;
        MPI_Recv(&ithe, 1, MPI_INT, MPI_ANY_SOURCE, tag_plane_complete, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
        complete(ithe);
    };
    for (const int ithe : planes_of_rank(range, 0, ranks)) {
        make_plane_quietly(stage, args, ithe);
        complete(ithe);
        for (int waiting = 1; waiting;) {
            MPI_Iprobe(MPI_ANY_SOURCE, tag_plane_complete, MPI_COMM_WORLD, &waiting, MPI_STATUS_IGNORE);
            if (waiting) receive();
        }
    }
    while (!all_announced(announcer)) receive();
}

void planes_of_other_rank(plane_stage& stage, const run_args& args, const plane_range& range, int ranks)
{
    for (int ithe : planes_of_rank(range, rank, ranks)) {
        make_plane_quietly(stage, args, ithe);
        MPI_Send(&ithe, 1, MPI_INT, 0, tag_plane_complete, MPI_COMM_WORLD);
    }
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// The MPI library keeps allocations of its own past MPI_Finalize, some from
// components it has already unloaded; a leak report at exit would be about
// the library, and would turn every run into a failure.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }
#endif

int main(int argc, char** argv)
{
    MPI_Init(&argc, &argv);
    int ranks = 1;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    MPI_Comm_size(MPI_COMM_WORLD, &ranks);
    ::on_exit(on_ending, nullptr);
    default_threads_per_rank();

    run_args args;
    plane_stage_ptr stage;
    level_storage storage;
    double tau = 0;
    if (rank == 0) {
        args = read_command_line(argc, argv, "kelvane-mpi", plane_arguments::checked);
        stage = reserve_plane_stage(args);
        storage = reserve_run_levels(args, stage != nullptr);
        tau = level_stage(storage, args);
        textio::flush_out();
        int verdict = verdict_go;
        MPI_Bcast(&verdict, 1, MPI_INT, 0, MPI_COMM_WORLD);
    } else {
        // Nothing a rank other than 0 prints on standard output is wanted.
        (void)silence_stdout();
        int verdict = 0;
        MPI_Bcast(&verdict, 1, MPI_INT, 0, MPI_COMM_WORLD);
        if (verdict != verdict_go) {
            current = phase::finished;
            std::exit(verdict);
        }
        args = read_command_line(argc, argv, "kelvane-mpi", plane_arguments::checked);
        stage = reserve_plane_stage(args);
        storage = reserve_run_levels(args, stage != nullptr);
        tau = time_step(inverse_temperature(args.temp), args.nslice);
        compute_levels(storage, args);
    }
    current = phase::planes;

    const plane_range range = planes_of_run(args);
    if (stage && range.count > 0) {
        plan_levels(*stage, args, storage.levels, tau);
        if (rank == 0)
            planes_of_rank_zero(*stage, args, range, ranks);
        else
            planes_of_other_rank(*stage, args, range, ranks);
    }
    current = phase::finished;

    // The grids end at plane 180: as in kelvane, an index past it ends the
    // run once the planes before it are written.
    if (rank == 0 && range.weird_ithe >= 0) {
        textio::out_line(textio::free_line().text("weird ithe").integer(range.weird_ithe).str());
        textio::stop();
    }
    textio::flush_out();
    return 0;
}
