#include "kelvane/hdf5/hdf5_library.hpp"

#include <mutex>
#include <utility>

#include "process/process.hpp"

namespace kelvane::hdf5 {

namespace {

// The innermost entry of the error stack: the failure where it began.
struct first_error {
    bool found = false;
    std::string minor, description;
};

herr_t take_first(unsigned n, const H5E_error2_t* e, void* data)
{
    auto* first = static_cast<first_error*>(data);
    if (n != 0 || first->found) return 0;
    first->found = true;
    char minor[256] = "";
    if (H5Eget_msg(e->min_num, nullptr, minor, sizeof minor) < 0) minor[0] = '\0';
    first->minor = minor;
    first->description = e->desc ? e->desc : "";
    return 0;
}

// The reason of the last failure: the system's message where a system call
// failed ("..., errno = 28, error message = 'No space left on device', ..."),
// otherwise what the library says of it ("Not an HDF5 file: file signature
// not found").
std::string reason()
{
    first_error first;
    H5Ewalk2(H5E_DEFAULT, H5E_WALK_UPWARD, take_first, &first);
    H5Eclear2(H5E_DEFAULT);
    if (!first.found) return "the HDF5 library gives no reason";
    const std::string key = "error message = '";
    const std::size_t at = first.description.find(key);
    if (at != std::string::npos) {
        const std::size_t from = at + key.size();
        const std::size_t to = first.description.find('\'', from);
        if (to != std::string::npos) return first.description.substr(from, to - from);
    }
    if (first.minor.empty()) return first.description;
    return first.minor + ": " + first.description;
}

}  // namespace

void start_library()
{
    static std::once_flag once;
    std::call_once(once, [] {
        H5dont_atexit();
        H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    });
}

void fail(const std::string& what) { throw process::run_failure(what + ": " + reason()); }

handle::handle(hid_t id, closer close, const std::string& what) : id_(id), close_(close)
{
    if (id_ < 0) fail(what);
}

handle::handle(handle&& other) noexcept
    : id_(std::exchange(other.id_, -1)), close_(other.close_)
{
}

handle& handle::operator=(handle&& other) noexcept
{
    if (this != &other) {
        if (id_ >= 0) close_(id_);
        id_ = std::exchange(other.id_, -1);
        close_ = other.close_;
    }
    return *this;
}

handle::~handle()
{
    if (id_ >= 0) close_(id_);
}

void handle::close(const std::string& what)
{
    const hid_t id = std::exchange(id_, -1);
    if (id >= 0) check(close_(id), what);
}

}  // namespace kelvane::hdf5
