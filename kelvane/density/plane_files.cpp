#include "kelvane/density/plane_files.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "kelvane/density/euler_grid.hpp"
#include "routines/lastch.hpp"
#include "textio/textio.hpp"

namespace kelvane {

namespace {

constexpr const char* suffix[4] = {"", "_rho", "_eng", "_esq"};

// Removes what this plane wrote so far and ends the run.
[[noreturn]] void fail(plane_files& files, const std::string& what, int err)
{
    for (int k = 0; k < 4; ++k) {
        if (files.fd[k] >= 0) ::close(files.fd[k]);
        files.fd[k] = -1;
        if (!files.temp[k].empty()) ::unlink(files.temp[k].c_str());
    }
    throw textio::run_failure("kelvane: " + what + ": " + std::strerror(err));
}

}  // namespace

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
        files.temp[k] = files.name[k] + ".part";
    }
    for (int k = 0; k < 4; ++k) {
        files.fd[k] = ::open(files.temp[k].c_str(),
                             O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (files.fd[k] < 0) {
            const int err = errno;
            const std::string what = "cannot create " + files.temp[k];
            files.temp[k].clear();   // not created by this run: not ours to remove
            for (int later = k + 1; later < 4; ++later) files.temp[later].clear();
            fail(files, what, err);
        }
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
            fail(files, "cannot write " + files.temp[kind], errno);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

void format_plane_records(int ithe, std::span<const std::int32_t> source, std::string_view point_text,
                          std::string (&buffers)[4])
{
    for (auto& b : buffers) b.clear();
    std::string prefix;
    textio::put_i(prefix, ithe, 5);
    const std::size_t ithe_end = prefix.size();
    for (int p = 0; p < plane_side; ++p) {
        prefix.resize(ithe_end);
        textio::put_i(prefix, p, 5);
        const std::size_t phi_end = prefix.size();
        for (int c = 0; c < plane_side; ++c) {
            prefix.resize(phi_end);
            textio::put_i(prefix, c, 5);
            const std::string_view t = point_text.substr(
                static_cast<std::size_t>(source[static_cast<std::size_t>(p * plane_side + c)])
                * point_text_width, point_text_width);
            std::string& all = buffers[0];
            all += prefix;
            for (int v = 0; v < 3; ++v) {
                all += ' ';
                all += t.substr(static_cast<std::size_t>(v) * value_text_width, value_text_width);
                std::string& one = buffers[1 + v];
                one += t.substr(static_cast<std::size_t>(v) * value_text_width, value_text_width);
                one += '\n';
            }
            all += '\n';
        }
    }
}

void close_plane_files(plane_files& files)
{
    for (int k = 3; k >= 0; --k) {
        const int fd = files.fd[k];
        files.fd[k] = -1;
        if (::close(fd) != 0) fail(files, "cannot close " + files.temp[k], errno);
        if (std::rename(files.temp[k].c_str(), files.name[k].c_str()) != 0)
            fail(files, "cannot rename " + files.temp[k] + " to " + files.name[k], errno);
        files.temp[k].clear();
    }
}

}  // namespace kelvane
