// One table for an MPI job (kelvane-mpi --hdf5): every rank computes its
// share of the planes, and one rank, the writer, holds the table.  The other
// ranks send it the reduced region of each plane they complete (the values
// of 16,561 points, 397 kB; the writer completes the plane through the same
// symmetry copies), in place of writing files.  The table is thus written by
// one process with the serial library, whatever the number of ranks, and
// holds the same values.
#pragma once

#include <vector>

#include "kelvane/density/plane_output.hpp"

namespace kelvane {

// The output of a rank that is not the writer.
class plane_to_writer final : public plane_output {
public:
    explicit plane_to_writer(int writer) : writer_(writer) {}
    void reserve(routines::storage& s) override;
    void begin_plane(int) override {}
    void write_plane(const completed_plane& plane) override;   // returns once the writer has it

private:
    int writer_;
    std::vector<double> message_;
};

// On the writer: whether another rank's plane is waiting, and the next one
// received into values (waiting for it if need be), with its plane index.
bool plane_waiting();
int receive_plane(region_values& values, std::vector<double>& message);

}  // namespace kelvane
