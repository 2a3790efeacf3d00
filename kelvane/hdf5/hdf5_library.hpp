// The HDF5 C library as the tables use it: identifiers closed by their
// owners, every result checked, and a failure told as a run_failure that
// names the file and says why.  The library's own printing of errors is off;
// the reason comes from its error stack, where the failed system call (a
// full disk, a file-size limit) left the system's message.
#pragma once

#include <hdf5.h>

#include <string>

namespace kelvane::hdf5 {

// Once per process, before any other call into the library: its error
// printing off, and no clean-up of its own at exit.  A file whose closing
// failed (its last write refused) is left half closed by the library, which
// would then fault when it tries again at exit; a run that fails has removed
// that file already and wants nothing more of it, and a run that succeeds
// has closed every object itself.
void start_library();

// A failure while doing `what` (say "cannot write FILE"): a run_failure
// with "what: reason", the reason as the library's error stack gives it.
[[noreturn]] void fail(const std::string& what);

// An identifier (file, dataset, dataspace, datatype, attribute, property
// list), closed with its close function when the handle goes; an id below
// zero is a failure of `what`.
class handle {
public:
    using closer = herr_t (*)(hid_t);
    handle() = default;
    handle(hid_t id, closer close, const std::string& what);
    handle(handle&& other) noexcept;
    handle& operator=(handle&& other) noexcept;
    handle(const handle&) = delete;
    handle& operator=(const handle&) = delete;
    ~handle();

    hid_t id() const { return id_; }
    operator hid_t() const { return id_; }
    // Closed now, a failure of `what` if the library refuses.
    void close(const std::string& what);

private:
    hid_t id_ = -1;
    closer close_ = nullptr;
};

// A status below zero is a failure of `what`.
inline void check(herr_t status, const std::string& what)
{
    if (status < 0) fail(what);
}

}  // namespace kelvane::hdf5
