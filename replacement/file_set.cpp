#include "replacement/file_set.hpp"

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "process/process.hpp"
#include "replacement/cleanup.hpp"

namespace replacement {

namespace {

[[noreturn]] void fail(const std::string& what, int err)
{
    throw process::run_failure(what + ": " + std::strerror(err));
}

// The path a name leads to through any symbolic links: the file an open of
// the name would write.  A link's relative target is taken from the link's
// own folder.
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

std::string folder_of(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string last_part(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// In a folder with the sticky bit, only the owner of a file, the owner of
// the folder or a process with CAP_FOWNER may remove or replace the file.
bool overrides_sticky_bit()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0) return ::geteuid() == 0;
    return (data[CAP_FOWNER / 32].effective >> (CAP_FOWNER % 32)) & 1u;
}

// The names a file of the set's own beside `target` may take, tried in
// turn until one is free: "<target><suffix>", then with the process id and
// a count, so that a leftover of a killed run or another run's file is
// never taken over.
constexpr int candidate_names = 100;
std::string candidate(const std::string& target, const char* suffix, int n)
{
    if (n == 0) return target + suffix;
    return target + "." + std::to_string(::getpid()) + "-" + std::to_string(n) + suffix;
}

}  // namespace

file_set::file_set(std::vector<std::string> names)
{
    install_cleanup();
    files_.resize(names.size());
    for (std::size_t k = 0; k < names.size(); ++k) files_[k].name = std::move(names[k]);
    check_all();
    try {
        for (file& f : files_) create_temporary(f);
    } catch (...) {
        discard();
        throw;
    }
}

file_set::~file_set() { discard(); }

void file_set::discard()
{
    signal_hold hold;
    for (file& f : files_) {
        if (f.fd >= 0) ::close(f.fd);
        f.fd = -1;
        if (f.slot >= 0) {
            ::unlink(f.temporary.c_str());
            forget_temporary(f.slot);
            f.slot = -1;
        }
    }
}

void file_set::check_all()
{
    const uid_t me = ::geteuid();
    struct folder_id {
        dev_t dev;
        ino_t ino;
    };
    std::vector<folder_id> folders;
    for (file& f : files_) {
        f.target = link_target(f.name);
        f.shown = f.target == f.name ? f.name : f.name + " (" + f.target + ")";
        if (::lstat(f.target.c_str(), &f.was) == 0) {
            f.older = true;
            if (S_ISDIR(f.was.st_mode)) throw process::run_failure("cannot write " + f.shown + ": it is a directory");
            if (!S_ISREG(f.was.st_mode)) throw process::run_failure("cannot write " + f.shown + ": not a regular file");
            if (::faccessat(AT_FDCWD, f.target.c_str(), W_OK, AT_EACCESS) != 0) fail("cannot replace " + f.shown, errno);
        } else if (errno != ENOENT) {
            fail("cannot use " + f.shown, errno);
        }
        const std::string folder = folder_of(f.target);
        struct stat dir;
        if (::stat(folder.c_str(), &dir) != 0 || ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
            fail((f.older ? "cannot replace " : "cannot create ") + f.shown, errno);
        if (f.older && (dir.st_mode & S_ISVTX) && f.was.st_uid != me && dir.st_uid != me && !overrides_sticky_bit())
            throw process::run_failure("cannot replace " + f.shown +
                                      ": it belongs to another user, in a folder where only its owner may "
                                      "replace it (sticky bit)");
        folders.push_back({dir.st_dev, dir.st_ino});
    }
    // Two names of one file would leave only one of the two files, under
    // both names.
    for (std::size_t j = 1; j < files_.size(); ++j)
        for (std::size_t i = 0; i < j; ++i) {
            const file &a = files_[i], &b = files_[j];
            const bool same =
                a.older && b.older
                    ? a.was.st_dev == b.was.st_dev && a.was.st_ino == b.was.st_ino
                    : !a.older && !b.older && folders[i].dev == folders[j].dev && folders[i].ino == folders[j].ino &&
                          last_part(a.target) == last_part(b.target);
            if (same) throw process::run_failure("cannot write " + b.shown + ": it is the same file as " + a.shown);
        }
}

void file_set::create_temporary(file& f)
{
    // While it is written, the file is private or, without an older file,
    // what the umask gives a new one.
    const mode_t initial = f.older ? 0600 : 0666;
    for (int n = 0; n < candidate_names && f.fd < 0; ++n) {
        const std::string path = candidate(f.target, ".part", n);
        signal_hold hold;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, initial);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            fail("cannot create " + path, errno);
        }
        f.fd = fd;
        f.temporary = path;
        try {
            f.slot = register_temporary(path);
        } catch (...) {
            ::close(fd);
            f.fd = -1;
            ::unlink(path.c_str());
            throw;
        }
    }
    if (f.fd < 0)
        throw process::run_failure("cannot create a temporary file beside " + f.target + ": " +
                                  std::to_string(candidate_names) + " names are taken");
    if (!f.older) return;

    // The older file's owner and group where they can be kept (fchown first:
    // it clears the set-id bits), and its permissions, less those that would
    // now apply to someone else.
    mode_t mode = f.was.st_mode & 07777;
    if (::fchown(f.fd, f.was.st_uid, f.was.st_gid) != 0) {
        mode &= ~S_ISUID;
        if (::fchown(f.fd, static_cast<uid_t>(-1), f.was.st_gid) != 0) mode &= ~(S_ISGID | S_IRWXG);
    }
    if (::fchmod(f.fd, mode) != 0) fail("cannot set the permissions of " + f.temporary, errno);
}

void file_set::write(std::size_t k, std::string_view text)
{
    const file& f = files_[k];
    while (!text.empty()) {
        const ssize_t n = ::write(f.fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("cannot write " + f.temporary, errno);
        }
        if (n == 0) fail("cannot write " + f.temporary, EIO);
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

const std::string& file_set::hand_over(std::size_t k)
{
    file& f = files_[k];
    const int fd = f.fd;
    f.fd = -1;
    if (fd >= 0 && ::close(fd) != 0) fail("cannot close " + f.temporary, errno);
    return f.temporary;
}

void file_set::close_all()
{
    for (std::size_t k = files_.size(); k-- > 0;) hand_over(k);
}

// Each older file gets a second name (a hard link; where the file system
// has none, the file is moved there instead), and the last name is emptied:
// from here on, no older file can be lost and the last name cannot claim a
// mixed set.  What stands under a name is looked at again, as it may have
// changed while the files were written.
void file_set::set_older_aside()
{
    for (std::size_t k = 0; k < files_.size(); ++k) {
        file& f = files_[k];
        struct stat now;
        f.older = ::lstat(f.target.c_str(), &now) == 0;
        if (!f.older) {
            const int err = errno;
            if (err == ENOENT) continue;
            give_up("cannot use " + f.shown + ": " + std::strerror(err));
        }
        if (S_ISDIR(now.st_mode)) give_up("cannot write " + f.shown + ": it is a directory");
        if (!S_ISREG(now.st_mode)) give_up("cannot write " + f.shown + ": not a regular file");
        int err = 0;
        for (int n = 0; n < candidate_names && f.kept.empty() && err == 0; ++n) {
            const std::string path = candidate(f.target, ".old.part", n);
            if (::link(f.target.c_str(), path.c_str()) == 0) {
                f.kept = path;
                f.kept_by_link = true;
            } else if (errno != EEXIST && ::renameat2(AT_FDCWD, f.target.c_str(), AT_FDCWD, path.c_str(),
                                                      RENAME_NOREPLACE) == 0) {
                f.kept = path;
            } else if (errno != EEXIST) {
                err = errno;
            }
        }
        if (f.kept.empty() && err == 0) err = EEXIST;
        if (err == 0 && k + 1 == files_.size() && f.kept_by_link) {
            if (::unlink(f.target.c_str()) == 0)
                f.kept_by_link = false;
            else
                err = errno;
        }
        if (err != 0) give_up("cannot keep the older " + f.shown + " aside while it is replaced: " + std::strerror(err));
    }
}

// Every name placed gets its older file back (or goes, where there was
// none), every older file set aside returns to its name, the last name
// last and only once all the others stand as before.  What cannot be put
// back is named in the message, with the name its older file is kept under.
void file_set::undo_placing(std::string& message)
{
    std::string kept;
    bool whole = true;
    for (std::size_t k = 0; k < files_.size(); ++k) {
        file& f = files_[k];
        bool back = true;   // the name stands as before
        if (k + 1 == files_.size() && !whole) {
            back = false;   // the last name stays away from a mixed set
        } else if (!f.placed && f.kept_by_link) {
            if (::unlink(f.kept.c_str()) == 0) f.kept.clear();   // the name kept its file throughout
        } else if (f.placed && f.kept.empty()) {
            back = ::unlink(f.target.c_str()) == 0;   // a new name goes again
        } else if (!f.kept.empty()) {
            back = ::rename(f.kept.c_str(), f.target.c_str()) == 0;
            if (back) f.kept.clear();
        }
        f.placed = false;
        whole = whole && back;
        if (!f.kept.empty()) kept += (kept.empty() ? "" : ", ") + f.kept + " (" + f.target + ")";
    }
    if (!kept.empty()) message += "; the older files are kept as " + kept;
}

void file_set::give_up(std::string message)
{
    undo_placing(message);
    throw process::run_failure(message);
}

void file_set::place()
{
    close_all();
    signal_hold hold;
    set_older_aside();
    for (file& f : files_) {
        if (::rename(f.temporary.c_str(), f.target.c_str()) != 0) {
            const int err = errno;
            give_up("cannot rename " + f.temporary + " to " + f.target + ": " + std::strerror(err));
        }
        f.placed = true;
        forget_temporary(f.slot);
        f.slot = -1;
    }
    for (file& f : files_)
        if (!f.kept.empty() && ::unlink(f.kept.c_str()) != 0)
            fail("the files are in place, but the older " + f.target + " is left as " + f.kept, errno);
}

}  // namespace replacement
