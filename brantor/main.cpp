// brantor: scans the interaction energy of a water molecule with the carbon
// cage over a fixed grid of displacements and orientations.  Writes the
// detail file "fort.44" and the scan file "fort.33"; takes no arguments and
// prints nothing on standard output.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include "brantor/scan.hpp"
#include "process/process.hpp"

namespace {

// Output goes straight to the descriptors, unbuffered by this program, so
// that whatever was written before a failure is on the file when it ends.
struct output_file {
    const char* name;
    int fd;
};

[[noreturn]] void file_failure(const char* what, const char* name, int err)
{
    throw process::run_failure(std::string("cannot ") + what + " \"" + name + "\": " +
                              std::strerror(err));
}

output_file create_output(const char* name)
{
    const int fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) file_failure("create", name, errno);
    return {name, fd};
}

void write_all(const output_file& f, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t n = ::write(f.fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            file_failure("write", f.name, errno);
        }
        if (n == 0) file_failure("write", f.name, EIO);
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

void close_output(const output_file& f)
{
    if (::close(f.fd) != 0) file_failure("close", f.name, errno);
}

}  // namespace

int main()
{
    return process::run_main("brantor", [] {
        const output_file detail = create_output("fort.44");
        const output_file report = create_output("fort.33");
        const int nthreads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
        try {
            brantor::scan(nthreads, [&](std::string_view d, std::string_view r) {
                write_all(detail, d);
                write_all(report, r);
            });
        } catch (const std::bad_alloc&) {
            throw process::run_failure(
                "out of memory; the lines written so far stay in fort.44 and fort.33");
        }
        close_output(detail);
        close_output(report);
    });
}
