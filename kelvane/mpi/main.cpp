// kelvane-mpi: a kelvane run whose theta planes are shared out over the
// ranks of an MPI job
//   mpirun -np N kelvane-mpi temp nslice iodevn ithe1 ithe2 ax az ay jmax
//
// Rank 0 reads the arguments and runs the level stage with its report and its
// stops, as kelvane does, and tells the other ranks how it ended.  They then
// compute the same levels without printing them (the stage is deterministic,
// so every rank holds the same bits).  Each rank computes and writes its share
// of the planes; rank 0 prints each plane's file name, in plane order, once
// the plane's files are in place.  With --hdf5 rank 0 alone writes the table,
// and the other ranks send it their planes (plane_to_writer.hpp).
#include <mpi.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "kelvane/density/plane_files.hpp"
#include "kelvane/density/plane_progress.hpp"
#include "kelvane/mpi/plane_share.hpp"
#include "kelvane/mpi/plane_to_writer.hpp"
#include "kelvane/run/command_line.hpp"
#include "kelvane/run/run.hpp"
#include "process/process.hpp"

namespace {

using namespace kelvane;

constexpr std::string_view program_label = "kelvane-mpi";

// Broadcast by rank 0 after the level stage: go on with the planes, or end
// with this exit status.
constexpr int verdict_go = -1;
constexpr int tag_plane_complete = 1;
constexpr int writer_rank = 0;

// Unless the user says otherwise, the ranks of one node share its processors
// evenly.
unsigned hardware_share()
{
    MPI_Comm node;
    MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, 0, MPI_INFO_NULL, &node);
    int local = 1;
    MPI_Comm_size(node, &local);
    MPI_Comm_free(&node);
    const unsigned hardware = std::thread::hardware_concurrency();
    return std::max(1u, hardware / static_cast<unsigned>(std::max(local, 1)));
}

// Rank 0: its own planes, and between them the announcements of the planes
// completed anywhere, in plane order; then it waits for the rest.  For a
// table the other ranks' planes come with their values, which go into the
// table before they are announced.
void planes_of_rank_zero(kelvane_run& run, int ranks, terminal_line* line)
{
    const bool table = !run.args().hdf5_file.empty();
    region_values received;
    std::vector<double> message;
    silent_progress silent;
    plane_announcer announcer = start_announcer(run.planes());
    std::vector<int> ready;
    auto complete = [&](int ithe) {
        if (!mark_complete(announcer, ithe, ready))
            throw process::run_failure("plane " + std::to_string(ithe) + " reported complete twice");
        for (const int p : ready) {
            process::out_line(plane_file_name(p));
            if (line) line->plane_done();
        }
        if (!ready.empty()) process::flush_out();
        ready.clear();
    };
    auto receive = [&] {
        int ithe = 0;
        if (table) {
            ithe = receive_plane(received, message);
            run.write_computed_plane(ithe, received);
        } else {
            MPI_Recv(&ithe, 1, MPI_INT, MPI_ANY_SOURCE, tag_plane_complete, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
        }
        complete(ithe);
    };
    if (line) line->plane_begun();
    for (const int ithe : planes_of_rank(run.planes(), 0, ranks)) {
        run.write_plane(ithe, silent);
        complete(ithe);
        for (int waiting = 1; waiting;) {
            if (table)
                waiting = plane_waiting();
            else
                MPI_Iprobe(MPI_ANY_SOURCE, tag_plane_complete, MPI_COMM_WORLD, &waiting, MPI_STATUS_IGNORE);
            if (waiting) receive();
        }
    }
    while (!all_announced(announcer)) receive();
}

// A plane of a table reaches rank 0 with its values, which is its
// announcement.
void planes_of_other_rank(kelvane_run& run, int rank, int ranks)
{
    silent_progress silent;
    for (int ithe : planes_of_rank(run.planes(), rank, ranks)) {
        run.write_plane(ithe, silent);
        if (run.args().hdf5_file.empty()) MPI_Send(&ithe, 1, MPI_INT, 0, tag_plane_complete, MPI_COMM_WORLD);
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
    process::ignore_silent_signals();
    MPI_Init(&argc, &argv);
    int rank = 0, ranks = 1;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    MPI_Comm_size(MPI_COMM_WORLD, &ranks);
    const unsigned hardware = hardware_share();

    std::optional<kelvane_run> run;
    auto set_up = [&] {
        const int threads = thread_count(std::getenv("KELVANE_THREADS"), hardware);
        const run_args args = read_command_line(argc, argv, program::kelvane_mpi);
        std::unique_ptr<plane_output> output;
        if (!args.hdf5_file.empty() && rank != writer_rank) output = std::make_unique<plane_to_writer>(writer_rank);
        run.emplace(args, threads, std::move(output));
    };

    // The level stage on rank 0, its stops and failures said once, there;
    // the other ranks, waiting for the verdict, end with the same status and
    // without a word.
    int verdict = verdict_go;
    if (rank == 0) {
        try {
            set_up();
            run->level_stage(process::line_sink::standard_output());
            process::flush_out();
        } catch (...) {
            verdict = process::report_ending(std::current_exception(), program_label);
        }
    }
    MPI_Bcast(&verdict, 1, MPI_INT, 0, MPI_COMM_WORLD);
    if (verdict != verdict_go) {
        MPI_Finalize();
        return verdict;
    }

    // One rank failing while the others work ends the whole job at once.  The
    // planes completed so far stand whole under their names; a plane in work
    // has at most its temporary files.
    int status = 0;
    try {
        if (rank != 0) {
            set_up();
            run->quiet_level_stage();
        }
        std::optional<terminal_line> line;
        const int planes = run->planes().count;
        if (rank == 0 && planes > 0 && ::isatty(STDERR_FILENO) && !::isatty(STDOUT_FILENO))
            line.emplace(stderr, std::string(program_label), planes);
        if (planes > 0) {
            if (rank == 0)
                planes_of_rank_zero(*run, ranks, line ? &*line : nullptr);
            else
                planes_of_other_rank(*run, rank, ranks);
        }
        // The grids end at plane 180: as in kelvane, an index past it ends the
        // run once the planes before it are written.
        line.reset();
        if (rank == 0) run->end_of_planes(process::line_sink::standard_output());
        throw process::stop_run{};
    } catch (...) {
        status = process::report_ending(std::current_exception(), program_label);
        // What this rank had begun of its files goes before the job ends.
        if (status != 0) {
            run.reset();
            MPI_Abort(MPI_COMM_WORLD, status);
        }
    }
    MPI_Finalize();
    return status;
}
