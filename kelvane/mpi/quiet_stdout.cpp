#include "kelvane/mpi/quiet_stdout.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "textio/textio.hpp"

namespace kelvane {

namespace {

[[noreturn]] void fail(const char* what)
{
    textio::io_failure(std::string("kelvane-mpi: cannot ") + what + ": " + std::strerror(errno));
}

}  // namespace

int silence_stdout()
{
    textio::flush_out();
    const int saved = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (saved < 0) fail("keep standard output");
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0) fail("open /dev/null");
    if (::dup2(null, STDOUT_FILENO) < 0) fail("redirect standard output");
    ::close(null);
    return saved;
}

void restore_stdout(int saved)
{
    textio::flush_out();
    if (::dup2(saved, STDOUT_FILENO) < 0) fail("restore standard output");
    ::close(saved);
}

}  // namespace kelvane
