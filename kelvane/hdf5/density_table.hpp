// The density table of a run as one HDF5 file: the datasets "rho", "eng"
// and "esq" (the density, the energy estimator in cm-1 and the
// energy-square estimator in cm-2), doubles over (theta plane, phi, chi),
// chi fastest, one plane per chunk, exactly the doubles the text files are
// formatted from; the dataset "theta" with the plane of each index
// (degrees); and attributes that describe the run: its nine arguments and
// command line, tau, beta, kboltz, the evaluation, the grid, the units, the
// program's version, and the partition function and mean energy of each
// K-parity block at tau from the report.
//
// The writer makes the file at the path it is given (the caller sees to
// temporary names); the reader opens a table and reads its planes back.
// Every failure is a run_failure that names the file.
#pragma once

#include <span>
#include <string>

#include "kelvane/hdf5/hdf5_library.hpp"
#include "kelvane/levels/level_stage.hpp"
#include "kelvane/run/run_args.hpp"

namespace kelvane {

class table_writer {
public:
    // The table of planes first .. first + count - 1 at path, with the
    // attributes the arguments alone fix.
    table_writer(const std::string& path, const run_args& args, int first, int count);

    // Plane ithe, each of the three a whole plane of 361 x 361 values, chi
    // fastest.
    void write_plane(int ithe, std::span<const double> rho, std::span<const double> eng, std::span<const double> esq);

    // The attributes of the level stage, then every object and the file
    // closed; only then is the file complete.
    void close(const level_stage_result& found);

private:
    std::string what_;
    int first_, count_;
    hdf5::handle file_, plane_space_, memory_space_;
    hdf5::handle values_[3];   // rho, eng, esq
};

class table_reader {
public:
    explicit table_reader(const std::string& path);

    // temp, nslice, iodevn, ithe1, ithe2, ax, az, ay, jmax and the evaluation
    // of the run that wrote the table.
    const run_args& args() const { return args_; }
    int first_plane() const { return first_; }
    int plane_count() const { return count_; }

    // Plane ithe (first_plane() .. first_plane() + plane_count() - 1) into
    // three arrays of 361 x 361 values, chi fastest.
    void read_plane(int ithe, std::span<double> rho, std::span<double> eng, std::span<double> esq);

private:
    std::string what_;
    run_args args_;
    int first_ = 0, count_ = 0;
    hdf5::handle file_, plane_space_, memory_space_;
    hdf5::handle values_[3];
};

}  // namespace kelvane
