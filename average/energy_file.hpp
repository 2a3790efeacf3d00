// The energy file as average reads it: twice, through one opening.  The means
// of the first pass are only good for a second pass over the same data, so
// the second pass goes back to the start of the file already open (a file put
// in its place meanwhile is not seen), only a regular file is taken (a pipe or
// a terminal cannot be read again), and the file's size and modification time
// tell whether it was written to while it was read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace average {

// What changes when a file is written to.
struct file_stamp {
    std::int64_t size = 0;
    std::int64_t modified_s = 0;
    std::int64_t modified_ns = 0;
    bool operator==(const file_stamp&) const = default;
};

class energy_file {
public:
    // Opens `path` for reading only, never creating it.  Anything but a
    // regular file is closed again at once, before a byte is read, and
    // not_regular() says what it is; the opening itself never waits (for the
    // writer of a FIFO, for instance).
    explicit energy_file(const char* path);
    ~energy_file();
    energy_file(const energy_file&) = delete;
    energy_file& operator=(const energy_file&) = delete;

    bool is_open() const { return fd_ >= 0; }
    // What the file is when it is not a regular file ("a pipe (FIFO)", "a
    // directory", ...); empty otherwise.
    const std::string& not_regular() const { return not_regular_; }
    bool is_directory() const { return directory_; }
    // The system's reason for the last failure.
    const std::string& error() const { return error_; }

    // The size and modification time when the file was opened, and now;
    // nothing (and the reason in error()) when they cannot be had.
    const file_stamp& stamp_at_opening() const { return opened_; }
    std::optional<file_stamp> stamp_now();

    // A byte source for record_reader: bytes read, 0 at the end, -1 on failure.
    std::ptrdiff_t operator()(char* data, std::size_t size);
    // Back to the first byte, for another pass; false (and the reason in
    // error()) on failure.
    bool rewind();
    // false (and the reason in error()) when closing reports a failure
    bool close();

private:
    int fd_ = -1;
    file_stamp opened_;
    std::string not_regular_;
    bool directory_ = false;
    std::string error_;
};

}  // namespace average
