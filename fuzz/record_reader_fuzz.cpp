// The record reader of average on arbitrary bytes.  What it reads must not
// depend on how the file arrives: the same data handed over whole, in pieces
// of a few bytes, or through a small buffer gives the same records, the same
// ending and the same line, NaNs and infinities included.  Every read ends,
// and a source that fails is reported as a failure.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "average/record_reader.hpp"

namespace {

void require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

std::uint64_t bits_of(double v)
{
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

bool same_values(const double* a, const double* b, std::size_t n)
{
    return n == 0 || std::memcmp(a, b, n * sizeof(double)) == 0;
}

struct outcome {
    std::vector<average::read_status> statuses;
    std::vector<double> values;
    std::int64_t stop_line = 0;

    bool operator==(const outcome& o) const
    {
        return statuses == o.statuses && stop_line == o.stop_line && values.size() == o.values.size() &&
               same_values(values.data(), o.values.data(), values.size());
    }
};

// The data in pieces whose sizes follow `pattern`; after `fail_at` bytes the
// source reports a read failure.
struct piecewise_source {
    std::string_view data;
    std::vector<std::uint8_t> pattern;
    std::size_t fail_at = SIZE_MAX;
    std::size_t at = 0;
    std::size_t turn = 0;

    std::ptrdiff_t operator()(char* out, std::size_t room)
    {
        if (at >= fail_at) return -1;
        std::size_t n = std::min(room, data.size() - at);
        if (!pattern.empty()) n = std::min<std::size_t>(n, pattern[turn++ % pattern.size()] % 17 + 1);
        n = std::min(n, fail_at - at);
        std::memcpy(out, data.data() + at, n);
        at += n;
        return static_cast<std::ptrdiff_t>(n);
    }
};

// The program's use of the reader: `skip` records passed over, then records
// until the first one that is not read.
outcome read_all(piecewise_source source, std::size_t buffer_size, int skip)
{
    average::record_reader reader(std::ref(source), buffer_size);
    outcome o;
    // Every read that gives a record consumes at least one byte, so more
    // reads than bytes would mean a reader that no longer advances.
    const std::size_t bound = source.data.size() + 2;
    for (int k = 0; k < skip; ++k) {
        const average::read_status s = reader.skip_record();
        o.statuses.push_back(s);
        if (s != average::read_status::record) {
            o.stop_line = reader.stop_line();
            return o;
        }
    }
    average::record r{};
    for (std::size_t k = 0;; ++k) {
        require(k <= bound, "the reader advances at every record");
        const average::read_status s = reader.read_record(r);
        o.statuses.push_back(s);
        if (s != average::read_status::record) break;
        for (double v : r) require(!std::isnan(v) || (bits_of(v) << 1) == (0x7FF8000000000000u << 1),
                                   "every NaN read is the runtime's, the quiet NaN without payload");
        o.values.insert(o.values.end(), r.begin(), r.end());
    }
    o.stop_line = reader.stop_line();
    require(o.stop_line >= 0, "the stopping line is a line of the file");
    return o;
}

// Whether some item of the data is too long for a buffer of `size` bytes.
bool has_item_longer_than(std::string_view data, std::size_t size)
{
    std::size_t run = 0;
    for (char c : data) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == ';' || c == '/')
            run = 0;
        else if (++run >= size)
            return true;
    }
    return false;
}

// The harness's inputs are at most a few kilobytes, so this buffer holds any
// of them whole, as the program's much larger one holds a typical file.
constexpr std::size_t large_buffer = 16 * 1024;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    if (size < 4) return 0;
    // Four leading bytes steer the run: the skip count, the pieces of the
    // source, the small buffer and where the failing source stops.
    const int skip = bytes[0] % 4;
    const std::vector<std::uint8_t> pattern{bytes[1], static_cast<std::uint8_t>(bytes[1] >> 3), bytes[2]};
    const std::size_t small_buffer = 2 + bytes[2] % 62;
    const std::string_view data(reinterpret_cast<const char*>(bytes + 4), size - 4);

    const outcome whole = read_all({data, {}}, large_buffer, skip);
    const outcome pieces = read_all({data, pattern}, large_buffer, skip);
    require(whole == pieces, "records do not depend on how the data arrives");

    if (!has_item_longer_than(data, small_buffer - 1)) {
        const outcome small = read_all({data, pattern}, small_buffer, skip);
        require(whole == small, "records do not depend on the buffer size");
    }

    // A source that fails part way: the reads before the failure are those of
    // the intact data, and the failure is reported, never taken for an end.
    const std::size_t fail_at = data.empty() ? 0 : bytes[3] % (data.size() + 1);
    const outcome failing = read_all({data, pattern, fail_at}, large_buffer, skip);
    const average::read_status last = failing.statuses.back();
    require(last != average::read_status::end_of_file && last != average::read_status::incomplete,
            "a failing source is never read as the end of the data");
    require(failing.values.size() <= whole.values.size() &&
                same_values(failing.values.data(), whole.values.data(), failing.values.size()),
            "the records before a read failure are those of the data");
    return 0;
}
