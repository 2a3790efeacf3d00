#include "kelvane/hdf5/density_table.hpp"

#include <cstdint>
#include <vector>

#include "kelvane/density/euler_grid.hpp"
#include "kelvane/levels/level_stage.hpp"
#include "process/process.hpp"

#ifndef KELVANE_VERSION
#define KELVANE_VERSION "unknown"
#endif

namespace kelvane {

namespace {

using hdf5::check;
using hdf5::handle;

// The three quantities, in the order of region_values and of the text
// files' columns, with their units.
constexpr const char* value_names[3] = {"rho", "eng", "esq"};
constexpr const char* value_units[3] = {"1", "cm-1", "cm-2"};
constexpr const char* value_descriptions[3] = {
    "rotational density matrix at the step tau; at theta = phi = chi = 0, 78.95683520871486 (8 pi^2) times it is "
    "the partition function at tau of the K-parity blocks it sums (Z_even_at_tau, Z_odd_at_tau)",
    "rotational energy estimator at tau, 0 where |rho| of the blocks is below 1e-16",
    "rotational energy-square estimator at tau, 0 where |rho| of the blocks is below 1e-16"};
constexpr const char* theta_name = "theta";

// Every attribute a table carries, by name, so that writer and reader agree.
namespace attribute {
constexpr const char *temp = "temp", *nslice = "nslice", *iodevn = "iodevn", *ithe1 = "ithe1", *ithe2 = "ithe2",
                     *ax = "ax", *az = "az", *ay = "ay", *jmax = "jmax";
}

constexpr hsize_t side = plane_side;

// File access: no file locks, which some shared file systems refuse; a
// table is written under a temporary name that no reader opens.
handle file_access(const std::string& what)
{
    handle fapl(H5Pcreate(H5P_FILE_ACCESS), H5Pclose, what);
#if H5_VERSION_GE(1, 10, 7)
    check(H5Pset_file_locking(fapl, false, true), what);
#endif
    return fapl;
}

handle scalar_space(const std::string& what) { return handle(H5Screate(H5S_SCALAR), H5Sclose, what); }

void put(hid_t on, const char* name, hid_t file_type, hid_t memory_type, const void* value, const std::string& what)
{
    const handle space = scalar_space(what);
    handle a(H5Acreate2(on, name, file_type, space, H5P_DEFAULT, H5P_DEFAULT), H5Aclose, what);
    check(H5Awrite(a, memory_type, value), what);
    a.close(what);
}

void put(hid_t on, const char* name, double v, const std::string& what)
{
    put(on, name, H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, &v, what);
}

void put(hid_t on, const char* name, int v, const std::string& what)
{
    put(on, name, H5T_STD_I32LE, H5T_NATIVE_INT, &v, what);
}

// A variable-length UTF-8 string: a Python str to h5py.
void put(hid_t on, const char* name, const std::string& v, const std::string& what)
{
    handle type(H5Tcopy(H5T_C_S1), H5Tclose, what);
    check(H5Tset_size(type, H5T_VARIABLE), what);
    check(H5Tset_cset(type, H5T_CSET_UTF8), what);
    const char* text = v.c_str();
    put(on, name, type, type, &text, what);
}

template <class T>
T get(hid_t on, const char* name, hid_t memory_type, const std::string& what)
{
    if (H5Aexists(on, name) <= 0) throw process::run_failure(what + ": not a kelvane table (no attribute " + name + ")");
    const handle a(H5Aopen(on, name, H5P_DEFAULT), H5Aclose, what);
    T v{};
    check(H5Aread(a, memory_type, &v), what);
    return v;
}

double get_double(hid_t on, const char* name, const std::string& what)
{
    return get<double>(on, name, H5T_NATIVE_DOUBLE, what);
}

int get_int(hid_t on, const char* name, const std::string& what) { return get<int>(on, name, H5T_NATIVE_INT, what); }

// The selection of one plane in a dataset of planes.
void select_plane(hid_t space, int index, const std::string& what)
{
    const hsize_t start[3] = {static_cast<hsize_t>(index), 0, 0};
    const hsize_t count[3] = {1, side, side};
    check(H5Sselect_hyperslab(space, H5S_SELECT_SET, start, nullptr, count, nullptr), what);
}

}  // namespace

table_writer::table_writer(const std::string& path, const run_args& args, int first, int count)
    : what_("cannot write " + path), first_(first), count_(count)
{
    hdf5::start_library();
    const std::string& w = what_;
    {
        const handle fapl = file_access(w);
        file_ = handle(H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, fapl), H5Fclose, w);
    }

    // The planes of the table, whole degrees.
    {
        const hsize_t n = static_cast<hsize_t>(count);
        const handle space(H5Screate_simple(1, &n, nullptr), H5Sclose, w);
        handle theta(H5Dcreate2(file_, theta_name, H5T_STD_I32LE, space, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT),
                     H5Dclose, w);
        std::vector<int> planes(static_cast<std::size_t>(count));
        for (int k = 0; k < count; ++k) planes[static_cast<std::size_t>(k)] = first + k;
        check(H5Dwrite(theta, H5T_NATIVE_INT, H5S_ALL, H5S_ALL, H5P_DEFAULT, planes.data()), w);
        put(theta, "units", std::string("degree"), w);
        theta.close(w);
    }

    // One chunk per plane, written whole and at once: no fill values, and no
    // chunk cache to copy it through.
    const hsize_t dims[3] = {static_cast<hsize_t>(count), side, side};
    const hsize_t chunk[3] = {1, side, side};
    plane_space_ = handle(H5Screate_simple(3, dims, nullptr), H5Sclose, w);
    memory_space_ = handle(H5Screate_simple(3, chunk, nullptr), H5Sclose, w);
    const handle dcpl(H5Pcreate(H5P_DATASET_CREATE), H5Pclose, w);
    check(H5Pset_chunk(dcpl, 3, chunk), w);
    check(H5Pset_fill_time(dcpl, H5D_FILL_TIME_NEVER), w);
    const handle dapl(H5Pcreate(H5P_DATASET_ACCESS), H5Pclose, w);
    check(H5Pset_chunk_cache(dapl, 0, 0, 1.0), w);
    for (int q = 0; q < 3; ++q) {
        values_[q] = handle(H5Dcreate2(file_, value_names[q], H5T_IEEE_F64LE, plane_space_, H5P_DEFAULT, dcpl, dapl),
                            H5Dclose, w);
        put(values_[q], "units", std::string(value_units[q]), w);
        put(values_[q], "description", std::string(value_descriptions[q]), w);
    }

    // What the arguments alone fix.
    const hid_t root = file_;
    put(root, "title", std::string("kelvane density table: rho, eng and esq of a rigid asymmetric top on the "
                                   "one-degree grid of Euler angles (theta, phi, chi)"), w);
    put(root, "program", std::string("kelvane"), w);
    put(root, "version", std::string(KELVANE_VERSION), w);
    put(root, "command_line", args.command_line, w);
    put(root, attribute::temp, args.temp, w);
    put(root, attribute::nslice, args.nslice, w);
    put(root, attribute::iodevn, args.iodevn, w);
    put(root, attribute::ithe1, args.ithe1, w);
    put(root, attribute::ithe2, args.ithe2, w);
    put(root, attribute::ax, args.ax, w);
    put(root, attribute::az, args.az, w);
    put(root, attribute::ay, args.ay, w);
    put(root, attribute::jmax, args.jmax, w);
    put(root, "kboltz", kboltz, w);
    put(root, "evaluation",
        std::string(args.evaluation == plane_evaluation::fourier_series ? "Fourier series" : "term by term"), w);
    put(root, "axes", std::string("theta phi chi"), w);
    put(root, "fastest_index", std::string("chi"), w);
    const std::pair<const char*, int> grid[] = {
        {"theta_first", first}, {"theta_step", 1}, {"theta_count", count},
        {"phi_first", 0},       {"phi_step", 1},   {"phi_count", plane_side},
        {"chi_first", 0},       {"chi_step", 1},   {"chi_count", plane_side}};
    for (const auto& [name, value] : grid) put(root, name, value, w);
    put(root, "units",
        std::string("temp K; ax az ay cm-1; tau beta cm; kboltz cm-1/K; angles degree; Z 1; E cm-1; "
                    "rho 1; eng cm-1; esq cm-2"), w);
}

void table_writer::write_plane(int ithe, std::span<const double> rho, std::span<const double> eng,
                               std::span<const double> esq)
{
    if (ithe < first_ || ithe >= first_ + count_ || rho.size() != plane_cells || eng.size() != plane_cells ||
        esq.size() != plane_cells)
        throw process::run_failure(what_ + ": plane " + std::to_string(ithe) + " does not belong to the table");
    select_plane(plane_space_, ithe - first_, what_);
    const double* planes[3] = {rho.data(), eng.data(), esq.data()};
    for (int q = 0; q < 3; ++q)
        check(H5Dwrite(values_[q], H5T_NATIVE_DOUBLE, memory_space_, plane_space_, H5P_DEFAULT, planes[q]), what_);
}

void table_writer::close(const level_stage_result& found)
{
    const hid_t root = file_;
    put(root, "tau", found.steps.tau, what_);
    put(root, "beta", found.steps.beta, what_);
    put(root, "Z_even_at_tau", found.at_tau.z_even, what_);
    put(root, "E_even_at_tau", found.at_tau.e_even, what_);
    put(root, "Z_odd_at_tau", found.at_tau.z_odd, what_);
    put(root, "E_odd_at_tau", found.at_tau.e_odd, what_);
    for (auto& v : values_) v.close(what_);
    memory_space_.close(what_);
    plane_space_.close(what_);
    file_.close(what_);
}

table_reader::table_reader(const std::string& path) : what_("cannot read " + path)
{
    hdf5::start_library();
    const std::string& w = what_;
    {
        const handle fapl = file_access(w);
        file_ = handle(H5Fopen(path.c_str(), H5F_ACC_RDONLY, fapl), H5Fclose, w);
    }
    auto dataset = [&](const char* name) {
        if (H5Lexists(file_, name, H5P_DEFAULT) <= 0)
            throw process::run_failure(w + ": not a kelvane table (no dataset " + name + ")");
        return handle(H5Dopen2(file_, name, H5P_DEFAULT), H5Dclose, w);
    };

    {
        const handle theta = dataset(theta_name);
        const handle space(H5Dget_space(theta), H5Sclose, w);
        hsize_t n = 0;
        if (H5Sget_simple_extent_ndims(space) != 1 || H5Sget_simple_extent_dims(space, &n, nullptr) < 0 || n < 1 ||
            n > plane_side)
            throw process::run_failure(w + ": not a kelvane table (theta is not a list of planes)");
        std::vector<int> planes(n);
        check(H5Dread(theta, H5T_NATIVE_INT, H5S_ALL, H5S_ALL, H5P_DEFAULT, planes.data()), w);
        first_ = planes[0];
        count_ = static_cast<int>(n);
        for (int k = 0; k < count_; ++k)
            if (planes[static_cast<std::size_t>(k)] != first_ + k || first_ < 0 || first_ + count_ - 1 > last_plane)
                throw process::run_failure(w + ": not a kelvane table (theta is not a range of planes 0 to 180)");
    }

    const hsize_t want[3] = {static_cast<hsize_t>(count_), side, side};
    for (int q = 0; q < 3; ++q) {
        values_[q] = dataset(value_names[q]);
        const handle space(H5Dget_space(values_[q]), H5Sclose, w);
        hsize_t dims[3] = {0, 0, 0};
        if (H5Sget_simple_extent_ndims(space) != 3 || H5Sget_simple_extent_dims(space, dims, nullptr) < 0 ||
            dims[0] != want[0] || dims[1] != want[1] || dims[2] != want[2])
            throw process::run_failure(w + ": not a kelvane table (" + value_names[q] +
                                       " is not a list of 361 x 361 planes, one for each theta)");
    }
    const hsize_t chunk[3] = {1, side, side};
    plane_space_ = handle(H5Screate_simple(3, want, nullptr), H5Sclose, w);
    memory_space_ = handle(H5Screate_simple(3, chunk, nullptr), H5Sclose, w);

    const hid_t root = file_;
    args_.temp = get_double(root, attribute::temp, w);
    args_.nslice = get_int(root, attribute::nslice, w);
    args_.iodevn = get_int(root, attribute::iodevn, w);
    args_.ithe1 = get_int(root, attribute::ithe1, w);
    args_.ithe2 = get_int(root, attribute::ithe2, w);
    args_.ax = get_double(root, attribute::ax, w);
    args_.az = get_double(root, attribute::az, w);
    args_.ay = get_double(root, attribute::ay, w);
    args_.jmax = get_int(root, attribute::jmax, w);
    args_.ndim = 2 * args_.jmax + 1;
}

void table_reader::read_plane(int ithe, std::span<double> rho, std::span<double> eng, std::span<double> esq)
{
    if (ithe < first_ || ithe >= first_ + count_ || rho.size() != plane_cells || eng.size() != plane_cells ||
        esq.size() != plane_cells)
        throw process::run_failure(what_ + ": the table has no plane " + std::to_string(ithe));
    select_plane(plane_space_, ithe - first_, what_);
    double* planes[3] = {rho.data(), eng.data(), esq.data()};
    for (int q = 0; q < 3; ++q)
        check(H5Dread(values_[q], H5T_NATIVE_DOUBLE, memory_space_, plane_space_, H5P_DEFAULT, planes[q]), what_);
}

}  // namespace kelvane
