// What the plane stage tells as it goes.  kelvane prints each plane's file
// name and the index of each row on standard output; the ranks of an MPI job
// print nothing of it; a terminal on standard error may show one line that
// says how far a long run has come.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace kelvane {

class plane_progress {
public:
    // Before the files of plane ithe are opened.
    virtual void plane_started(int ithe) = 0;
    // Before any point of row iphi of the plane in work is evaluated; rows
    // come in order, 0 to 360.
    virtual void row_started(int iphi) = 0;
    // Once the four files of plane ithe stand under their names.
    virtual void plane_written(int ithe) = 0;

protected:
    ~plane_progress() = default;
};

// Nothing told.
class silent_progress final : public plane_progress {
public:
    void plane_started(int) override {}
    void row_started(int) override {}
    void plane_written(int) override {}
};

// kelvane's report on standard output: the file name of each plane and,
// before each row is evaluated, its index as a free-format line.
class printed_progress : public plane_progress {
public:
    void plane_started(int ithe) override;
    void row_started(int iphi) override;
    void plane_written(int) override {}
};

// One line on a terminal, redrawn in place: planes done of planes asked,
// the time since the first plane began, and an estimate of the time left.
// Meant for standard error when it is a terminal and standard output is not
// (the rows on standard output would scroll it away).
// It is cleared when the object goes, so that whatever is written on the
// terminal next (a stop, a failure) stands on a line of its own.
class terminal_line {
public:
    terminal_line(std::FILE* terminal, std::string program, int planes);
    ~terminal_line();
    terminal_line(const terminal_line&) = delete;
    terminal_line& operator=(const terminal_line&) = delete;

    void plane_begun();        // the clock starts at the first plane
    void plane_done();
    void row_done(int iphi);   // redraws at most a few times a second

private:
    void draw(int rows_of_plane);

    std::FILE* terminal_;
    std::string program_;
    int planes_;
    int done_ = 0;
    bool drawn_ = false;
    bool started_ = false;
    std::chrono::steady_clock::time_point start_, last_draw_;
};

// printed_progress with a terminal_line beside it.
class printed_progress_with_line final : public printed_progress {
public:
    explicit printed_progress_with_line(terminal_line& line) : line_(line) {}
    void plane_started(int ithe) override;
    void row_started(int iphi) override;
    void plane_written(int ithe) override;

private:
    terminal_line& line_;
};

}  // namespace kelvane
