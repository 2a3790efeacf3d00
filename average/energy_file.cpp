#include "average/energy_file.hpp"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace average {

namespace {

file_stamp stamp_of(const struct stat& st)
{
    return {static_cast<std::int64_t>(st.st_size), static_cast<std::int64_t>(st.st_mtim.tv_sec),
            static_cast<std::int64_t>(st.st_mtim.tv_nsec)};
}

std::string kind_of(const struct stat& st, int fd)
{
    if (S_ISFIFO(st.st_mode)) return "a pipe (FIFO)";
    if (S_ISDIR(st.st_mode)) return "a directory";
    if (S_ISCHR(st.st_mode)) return ::isatty(fd) ? "a terminal" : "a character device";
    if (S_ISBLK(st.st_mode)) return "a block device";
    if (S_ISSOCK(st.st_mode)) return "a socket";
    return "a special file";
}

}  // namespace

energy_file::energy_file(const char* path)
{
    // Opening a FIFO for reading waits for a writer unless it is opened
    // without blocking; the flag is cleared once the file is known to be a
    // regular file, whose reads it would not change anyway.
    do {
        fd_ = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) {
        error_ = std::strerror(errno);
        return;
    }
    struct stat st;
    if (::fstat(fd_, &st) != 0) {
        error_ = std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        not_regular_ = kind_of(st, fd_);
        directory_ = S_ISDIR(st.st_mode);
    } else {
        const int flags = ::fcntl(fd_, F_GETFL);
        if (flags == -1 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) == -1) {
            error_ = std::strerror(errno);
        } else {
            opened_ = stamp_of(st);
            return;
        }
    }
    ::close(fd_);
    fd_ = -1;
}

energy_file::~energy_file()
{
    if (fd_ >= 0) ::close(fd_);
}

std::optional<file_stamp> energy_file::stamp_now()
{
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
        error_ = fd_ < 0 ? std::strerror(EBADF) : std::strerror(errno);
        return std::nullopt;
    }
    return stamp_of(st);
}

std::ptrdiff_t energy_file::operator()(char* data, std::size_t size)
{
    if (fd_ < 0) return 0;
    for (;;) {
        const ssize_t got = ::read(fd_, data, size);
        if (got >= 0) return got;
        if (errno != EINTR) {
            error_ = std::strerror(errno);
            return -1;
        }
    }
}

bool energy_file::rewind()
{
    if (fd_ >= 0 && ::lseek(fd_, 0, SEEK_SET) == 0) return true;
    error_ = fd_ < 0 ? std::strerror(EBADF) : std::strerror(errno);
    return false;
}

bool energy_file::close()
{
    if (fd_ < 0) return true;
    const int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0) {
        error_ = std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace average
