#include "kelvane/density/replaced_file.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "process/process.hpp"

namespace kelvane {

namespace {

[[noreturn]] void fail(const std::string& what, int err)
{
    throw process::run_failure(what + ": " + std::strerror(err));
}

}  // namespace

std::string link_target(const std::string& name)
{
    std::string path = name;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string to(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096), '\0');
        const ssize_t n = ::readlink(path.c_str(), to.data(), to.size());
        if (n < 0) fail("cannot read the symbolic link " + path, errno);
        to.resize(static_cast<std::size_t>(n));
        const std::size_t slash = path.rfind('/');
        path = to.front() == '/' || slash == std::string::npos ? to : path.substr(0, slash + 1) + to;
    }
    fail("cannot follow the symbolic links of " + name, ELOOP);
}

void check_place(const std::string& name, const std::string& target)
{
    struct stat st;
    if (::lstat(target.c_str(), &st) != 0) {
        if (errno == ENOENT) return;
        fail("cannot use " + name, errno);
    }
    const std::string what = target == name ? name : name + " (" + target + ")";
    if (S_ISDIR(st.st_mode)) throw process::run_failure("cannot write " + what + ": it is a directory");
    if (!S_ISREG(st.st_mode)) throw process::run_failure("cannot write " + what + ": not a regular file");
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) fail("cannot replace " + what, errno);
}

replaced_file::~replaced_file()
{
    if (!temp_.empty()) ::unlink(temp_.c_str());
    if (lock_ >= 0) ::close(lock_);
}

void replaced_file::reserve(const std::string& name)
{
    name_ = name;
    target_ = link_target(name);
    check_place(name, target_);
    const std::string temp = target_ + ".part";
    struct stat older;
    const bool replaces = ::stat(target_.c_str(), &older) == 0;
    // A temporary file of that name is either another run's, which holds a
    // lock on it while it writes, or left by a run that was killed: that one
    // goes.  Anything but a regular file under the name is not ours.
    struct stat st;
    if (::lstat(temp.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            throw process::run_failure("cannot create " + temp + ": something that is not a regular file is in the way");
        const int other = ::open(temp.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        const bool in_use = other >= 0 && ::flock(other, LOCK_EX | LOCK_NB) != 0;
        if (other >= 0) ::close(other);
        if (in_use) throw process::run_failure("cannot create " + temp + ": another run is writing it");
        if (::unlink(temp.c_str()) != 0 && errno != ENOENT) fail("cannot remove the leftover " + temp, errno);
    }
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) fail("cannot create " + temp, errno);
    lock_ = fd;
    temp_ = temp;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) fail("cannot lock " + temp, errno);
    // The new file takes the place of the older one with its permissions
    // and group, as far as this user may give them (a group the user is not
    // in is refused, and the file keeps the user's own).
    if (replaces) {
        (void)!::fchown(fd, static_cast<uid_t>(-1), older.st_gid);
        (void)!::fchmod(fd, older.st_mode & 07777);
    }
}

void replaced_file::commit()
{
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) fail("cannot rename " + temp_ + " to " + target_, errno);
    temp_.clear();
    ::close(std::exchange(lock_, -1));
}

}  // namespace kelvane
