// Records of a simulation's energy file, read in free form: ten numbers per
// record, taken across lines, with the list-directed conventions of the
// Fortran runtime that wrote and read these files (empty values, repeat
// counts, a slash ending a record early, a semicolon read as a comma), and
// every number in the forms that runtime reads: exponents without their
// letter, Infinity and NaN, values beyond the double range as infinities.
//
// The reader holds one buffer of fixed size whatever the file: a line of any
// length is passed over in pieces, and only a single number has to fit in the
// buffer at once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace average {

inline constexpr int record_width = 10;
using record = std::array<double, record_width>;

// Fills up to `size` bytes at `data`; returns the number of bytes given,
// 0 at the end of the data, -1 when the data cannot be read.
using byte_source = std::function<std::ptrdiff_t(char* data, std::size_t size)>;

enum class read_status {
    record,        // the values were read
    end_of_file,   // the data ended before the first value
    incomplete,    // the data ended inside a record
    unreadable,    // an item that is not a number (or a number too long to hold)
    failure,       // the source could not be read
};

class record_reader {
public:
    static constexpr std::size_t default_buffer_size = 256 * 1024;

    explicit record_reader(byte_source source, std::size_t buffer_size = default_buffer_size);

    // Ten values into r.  An empty value (nothing between two commas, "r*"
    // without a value, the items after a slash) leaves its column of r as it
    // was, so it repeats the record read before.  Whatever follows the tenth
    // value on its line is dropped.
    read_status read_record(record& r);

    // One value, for a record that is passed over: the first item of the next
    // line that holds one; the rest of that line is dropped.
    read_status skip_record();

    // Line of the file, counted from 1, at which the last read that did not
    // give a record stopped: the line of the offending item, or for data that
    // ended inside a record, the line on which that record began.
    std::int64_t stop_line() const { return stop_line_; }

private:
    read_status read_items(double* values, int n);
    bool refill();                // more data after end_, keeping [pos_, end_)
    bool at_data();               // pos_ < end_ after refilling if needed
    void drop_rest_of_line();

    byte_source source_;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool exhausted_ = false;      // the source has reported its end
    bool failed_ = false;         // the source has reported a failure
    std::int64_t line_ = 1;
    std::int64_t stop_line_ = 0;
};

}  // namespace average
