#include "kelvane/mpi/plane_to_writer.hpp"

#include <mpi.h>

#include <algorithm>
#include <string>

#include "kelvane/density/euler_grid.hpp"
#include "process/process.hpp"

namespace kelvane {

namespace {

constexpr int tag_plane_values = 2;

// A message: the plane index, then rho, eng and esq of the region points.
constexpr int message_length = 1 + 3 * region_points;

int unpack(const std::vector<double>& message, region_values& values)
{
    std::vector<double>* to[3] = {&values.rho, &values.eng, &values.esq};
    for (int q = 0; q < 3; ++q) {
        to[q]->resize(region_points);
        const auto from = message.begin() + 1 + q * region_points;
        std::copy(from, from + region_points, to[q]->begin());
    }
    return static_cast<int>(message[0]);
}

}  // namespace

void plane_to_writer::reserve(routines::storage& s) { s.take(message_, message_length); }

void plane_to_writer::write_plane(const completed_plane& plane)
{
    message_[0] = plane.ithe;
    const std::vector<double>* from[3] = {&plane.values.rho, &plane.values.eng, &plane.values.esq};
    for (int q = 0; q < 3; ++q)
        std::copy(from[q]->begin(), from[q]->begin() + region_points, message_.begin() + 1 + q * region_points);
    if (MPI_Send(message_.data(), message_length, MPI_DOUBLE, writer_, tag_plane_values, MPI_COMM_WORLD) != MPI_SUCCESS)
        throw process::run_failure("cannot send plane " + std::to_string(plane.ithe) + " to the writing rank");
}

int receive_plane(region_values& values, std::vector<double>& message)
{
    message.resize(message_length);
    MPI_Status status;
    if (MPI_Recv(message.data(), message_length, MPI_DOUBLE, MPI_ANY_SOURCE, tag_plane_values, MPI_COMM_WORLD,
                 &status) != MPI_SUCCESS)
        throw process::run_failure("cannot receive a plane from another rank");
    return unpack(message, values);
}

bool plane_waiting()
{
    int waiting = 0;
    MPI_Iprobe(MPI_ANY_SOURCE, tag_plane_values, MPI_COMM_WORLD, &waiting, MPI_STATUS_IGNORE);
    return waiting != 0;
}

}  // namespace kelvane
