// The nine command-line values of kelvane and sodrel and what a run derives
// from them once: ndim, which K-parity blocks the density sums over, and
// which theta planes it writes.
#pragma once

#include <optional>
#include <string>

#include "routines/parity_blocks.hpp"

namespace kelvane {

using routines::parity;

// How the density planes are evaluated: term by term in the order of
// arithmetic that defines them (the default, whose files are bit for bit
// those of every earlier run), or as a two-dimensional Fourier series carried
// in double-double, far faster and closer to the exact sums of the same
// inputs (the option --fourier).
enum class plane_evaluation { term_by_term, fourier_series };

struct run_args {
    double temp = 0;     // K
    int nslice = 0;      // imaginary-time slices; tau = beta / nslice
    int iodevn = 0;      // K-parity blocks of the density: -1 both, 0 even, 1 odd
    int ithe1 = 0;       // first theta plane, degrees
    int ithe2 = -1;      // last theta plane, inclusive
    double ax = 0;       // rotational constants, cm-1, of the body x, z and y axes
    double az = 0;
    double ay = 0;
    int jmax = 0;        // highest J of the basis, at most routines::jmax_limit
    int ndim = 1;        // 2 jmax + 1
    plane_evaluation evaluation = plane_evaluation::term_by_term;
    // The planes into one HDF5 table of this name (the option --hdf5) in
    // place of four text files each; empty: the text files.
    std::string hdf5_file;
    // The command line as given, words separated by blanks, for the record.
    std::string command_line;
    // sodrel --accuracy TOL: the smallest jmax whose left-out levels change
    // the table by at most TOL of its peak; 0 when not asked.
    double accuracy = 0;
};

// The K-parity blocks a density sums over.  iodevn -1 names both, 0 the
// even-K block, 1 the odd-K block; any other value names none, and the run
// ends at the opening of its level stage.
class block_selection {
public:
    static std::optional<block_selection> of(int iodevn)
    {
        if (iodevn < -1 || iodevn > 1) return std::nullopt;
        return block_selection(iodevn);
    }
    bool has(parity p) const { return iodevn_ == -1 || iodevn_ == routines::parity_index(p); }
    bool both() const { return iodevn_ == -1; }

private:
    explicit block_selection(int iodevn) : iodevn_(iodevn) {}
    int iodevn_;
};

// The theta planes of the one-degree grid: 0..180 degrees.
inline constexpr int last_plane = 180;

// The planes a run computes: ithe1..ithe2 cut at last_plane.  When the range goes beyond 180 the run ends, after these
// planes, with the line "weird ithe" and the first index past the grid
// (weird_ithe; -1 when the range stays inside).  count is 0 for an empty
// range.
struct plane_range {
    int first = 0;
    int count = 0;
    int weird_ithe = -1;
};
plane_range planes_of_run(const run_args& args);

}  // namespace kelvane
