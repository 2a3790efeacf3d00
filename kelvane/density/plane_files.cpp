#include "kelvane/density/plane_files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "kelvane/density/euler_grid.hpp"
#include "routines/lastch.hpp"
#include "process/process.hpp"
#include "textio/textio.hpp"

namespace kelvane {

namespace {

constexpr const char* suffix[4] = {"", "_rho", "_eng", "_esq"};

// The file objects' own cleanup removes what this plane wrote.
[[noreturn]] void fail(const std::string& what, int err)
{
    throw process::run_failure(what + ": " + std::strerror(err));
}

// The path a name leads to through any symbolic links: the file the
// runtime's open would write.  A link's relative target is taken from the
// link's own folder.
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

// Whether the plane's file can go to target: nothing there yet, or a regular
// file this user may write.
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

}  // namespace

plane_files::~plane_files()
{
    if (complete) return;
    for (int k = 0; k < 4; ++k) {
        if (fd[k] >= 0) ::close(fd[k]);
        if (!temp[k].empty()) ::unlink(temp[k].c_str());
    }
    for (int k = 0; k < placed; ++k) ::unlink(target[k].c_str());
}

std::string plane_file_name(int ithe)
{
    // Written into a blank 30-character buffer and cut after its last
    // non-blank character.
    char buffer[30];
    std::memset(buffer, ' ', sizeof buffer);
    std::string text;
    if (ithe <= 9) {
        text = "rho.den00";
        textio::put_i(text, ithe, 1);
    } else if (ithe <= 99) {
        text = "rho.den0";
        textio::put_i(text, ithe, 2);
    } else {
        text = "rho.den";
        textio::put_i(text, ithe, 3);
    }
    std::memcpy(buffer, text.data(), text.size());
    return std::string(buffer, static_cast<std::size_t>(routines::lastch(buffer, 30)));
}

void open_plane_files(plane_files& files, int ithe)
{
    const std::string base = plane_file_name(ithe);
    for (int k = 0; k < 4; ++k) {
        files.name[k] = base + suffix[k];
        files.target[k] = link_target(files.name[k]);
        check_place(files.name[k], files.target[k]);
    }
    for (int k = 0; k < 4; ++k) {
        const std::string temp = files.target[k] + ".part";
        files.fd[k] = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (files.fd[k] < 0) fail("cannot create " + temp, errno);   // not ours to remove
        files.temp[k] = temp;
    }
}

std::string plane_header(const run_args& args)
{
    std::string h = "# T=";
    textio::put_f(h, args.temp, 10, 5);
    h += " NSLICE=";
    textio::put_i(h, args.nslice, 5);
    h += " IODEVN=";
    textio::put_i(h, args.iodevn, 5);
    h += "\n# the  phi  chi       rho            engrot\n";
    return h;
}

void write_plane_text(plane_files& files, int kind, std::string_view text)
{
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(files.fd[kind], p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("cannot write " + files.temp[kind], errno);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

void size_plane_records(std::string (&buffers)[4])
{
    buffers[0].resize(static_cast<std::size_t>(plane_cells) * combined_record_width);
    for (int k = 1; k < 4; ++k) buffers[k].resize(static_cast<std::size_t>(plane_cells) * single_record_width);
}

void format_plane_rows(int ithe, int first_row, int last_row, std::span<const std::int32_t> source,
                       std::string_view point_text, std::string (&buffers)[4])
{
    // I5 of every grid index, once.
    static const std::string index_text = [] {
        std::string t;
        for (int i = 0; i < plane_side; ++i) textio::put_i(t, i, 5);
        return t;
    }();
    std::string ithe_text;
    textio::put_i(ithe_text, ithe, 5);
    for (int p = first_row; p <= last_row; ++p)
        for (int c = 0; c < plane_side; ++c) {
            const std::size_t cell = static_cast<std::size_t>(p * plane_side + c);
            const char* t = point_text.data() + static_cast<std::size_t>(source[cell]) * point_text_width;
            char* all = buffers[0].data() + cell * combined_record_width;
            std::memcpy(all, ithe_text.data(), 5);
            std::memcpy(all + 5, index_text.data() + 5 * p, 5);
            std::memcpy(all + 10, index_text.data() + 5 * c, 5);
            for (int v = 0; v < 3; ++v) {
                all[15 + v * (value_text_width + 1)] = ' ';
                std::memcpy(all + 16 + v * (value_text_width + 1), t + v * value_text_width, value_text_width);
                char* one = buffers[1 + v].data() + cell * single_record_width;
                std::memcpy(one, t + v * value_text_width, value_text_width);
                one[value_text_width] = '\n';
            }
            all[combined_record_width - 1] = '\n';
        }
}

void close_plane_files(plane_files& files)
{
    for (int k = 3; k >= 0; --k) {
        const int fd = files.fd[k];
        files.fd[k] = -1;
        if (::close(fd) != 0) fail("cannot close " + files.temp[k], errno);
    }
    // "_esq" last: once it stands under its name, so do the other three.
    for (int k = 0; k < 4; ++k) {
        if (std::rename(files.temp[k].c_str(), files.target[k].c_str()) != 0)
            fail("cannot rename " + files.temp[k] + " to " + files.target[k], errno);
        files.temp[k].clear();
        files.placed = k + 1;
    }
    files.complete = true;
}

}  // namespace kelvane
