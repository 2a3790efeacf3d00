#include "kelvane/density/plane_progress.hpp"

#include "kelvane/density/euler_grid.hpp"
#include "kelvane/density/plane_files.hpp"
#include "process/process.hpp"
#include "textio/textio.hpp"

namespace kelvane {

void printed_progress::plane_started(int ithe) { process::out_line(plane_file_name(ithe)); }

void printed_progress::row_started(int iphi) { process::out_line(textio::free_line().integer(iphi).str()); }

void printed_progress_with_line::plane_started(int ithe)
{
    printed_progress::plane_started(ithe);
    line_.plane_begun();
}

void printed_progress_with_line::row_started(int iphi)
{
    printed_progress::row_started(iphi);
    line_.row_done(iphi);
}

void printed_progress_with_line::plane_written(int ithe)
{
    printed_progress::plane_written(ithe);
    line_.plane_done();
}

namespace {

// h:mm:ss, or m:ss below an hour.
std::string clock_time(double seconds)
{
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

}  // namespace

terminal_line::terminal_line(std::FILE* terminal, std::string program, int planes)
    : terminal_(terminal), program_(std::move(program)), planes_(planes),
      start_(std::chrono::steady_clock::now()), last_draw_(start_)
{
}

terminal_line::~terminal_line()
{
    if (!drawn_) return;
    // Carriage return and erase to the end of the line.
    std::fputs("\r\033[K", terminal_);
    std::fflush(terminal_);
}

void terminal_line::plane_begun()
{
    if (started_) return;
    started_ = true;
    start_ = last_draw_ = std::chrono::steady_clock::now();
    draw(0);
}

void terminal_line::plane_done()
{
    ++done_;
    draw(0);
}

void terminal_line::row_done(int iphi)
{
    const auto now = std::chrono::steady_clock::now();
    if (now - last_draw_ < std::chrono::milliseconds(250)) return;
    draw(iphi);
}

void terminal_line::draw(int rows_of_plane)
{
    const auto now = std::chrono::steady_clock::now();
    last_draw_ = now;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    // Planes cost about the same, so the time left is the time per plane so
    // far times the planes still to come; rows of the plane in work count
    // as a fraction of a plane.
    const double done = done_ + (done_ < planes_ ? rows_of_plane / static_cast<double>(plane_side) : 0.0);
    std::string line = "\r" + program_ + ": " + std::to_string(done_) + " of " + std::to_string(planes_) +
                       " planes, " + clock_time(elapsed) + " elapsed";
    if (done > 0 && done_ < planes_) line += ", about " + clock_time(elapsed / done * (planes_ - done)) + " left";
    line += "\033[K";
    std::fputs(line.c_str(), terminal_);
    std::fflush(terminal_);
    drawn_ = true;
}

}  // namespace kelvane
