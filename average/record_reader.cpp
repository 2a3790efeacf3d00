#include "average/record_reader.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>
#include <utility>

#include "textio/textio.hpp"

namespace average {

namespace {

// What a byte means between and inside items.  Everything that is not listed
// belongs to an item (and makes it unreadable unless it forms a number):
// form feeds, NUL bytes and other control characters included.
enum : unsigned char { ordinary = 0, blank, line_end, comma, semicolon, slash, star };

constexpr std::array<unsigned char, 256> make_classes()
{
    std::array<unsigned char, 256> c{};
    c[' '] = blank;
    c['\t'] = blank;
    c['\r'] = blank;   // a line ended by CR LF reads like one ended by LF
    c['\n'] = line_end;
    c[','] = comma;
    c[';'] = semicolon;   // with a decimal point, the runtime reads it as a comma
    c['/'] = slash;
    c['*'] = star;
    return c;
}

constexpr std::array<unsigned char, 256> classes = make_classes();

inline unsigned char class_of(char ch) { return classes[static_cast<unsigned char>(ch)]; }

bool only_digits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
}

// The repeat count of "r*value": digits only, at least 1, within 32 bits as
// the runtime requires.
bool repeat_count(std::string_view digits, int& r)
{
    if (digits.empty()) return false;
    std::int64_t v = 0;
    for (char ch : digits) {
        if (ch < '0' || ch > '9') return false;
        v = v * 10 + (ch - '0');
        if (v > std::numeric_limits<std::int32_t>::max()) return false;
    }
    if (v == 0) return false;
    r = static_cast<int>(v);
    return true;
}

// Where the reader stands between two items, as the runtime tracks it.  A
// comma or semicolon stands for an empty value except straight after an item
// (where it is the separator that ends the item); a comma that opens a line
// after an item, or after the line end that opens a record, is only a
// separator, which a semicolon never is.
enum class between : unsigned char {
    item,                      // after an item
    separator,                 // after a comma or semicolon
    open,                      // at the start of a record, or after a comma that was only a separator
    line_end_after_item,       // line ends since an item, or since the start
    line_end_after_separator,  // line ends since a comma or semicolon
};

}  // namespace

record_reader::record_reader(byte_source source, std::size_t buffer_size)
    : source_(std::move(source)),
      buffer_(new char[std::max<std::size_t>(buffer_size, 2) + 1]),
      capacity_(std::max<std::size_t>(buffer_size, 2))
{
    // The byte after the data is always a line end: every scan stops there
    // without a bounds test of its own.
    buffer_[0] = '\n';
}

bool record_reader::refill()
{
    if (exhausted_ || failed_) return false;
    if (pos_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
    }
    if (end_ == capacity_) return false;
    std::ptrdiff_t got = source_(buffer_.get() + end_, capacity_ - end_);
    if (got < 0) {
        failed_ = true;
        got = 0;
    } else if (got == 0) {
        exhausted_ = true;
    }
    end_ += static_cast<std::size_t>(got);
    buffer_[end_] = '\n';
    return got > 0;
}

bool record_reader::at_data()
{
    while (pos_ == end_)
        if (!refill() && pos_ == end_) return false;
    return true;
}

void record_reader::drop_rest_of_line()
{
    while (at_data()) {
        const char* from = buffer_.get() + pos_;
        const void* nl = std::memchr(from, '\n', end_ - pos_);
        if (nl != nullptr) {
            pos_ += static_cast<const char*>(nl) - from + 1;
            ++line_;
            return;
        }
        pos_ = end_;
    }
}

read_status record_reader::read_items(double* values, int n)
{
    int i = 0;
    bool at_start = true;      // nothing of this record met yet
    between at = between::open;
    std::int64_t first_line = line_;

    for (;;) {
        // Blanks and line ends before the next item.  Lines that hold nothing
        // are passed over.
        for (;;) {
            const char* b = buffer_.get();
            while (class_of(b[pos_]) == blank) ++pos_;
            if (pos_ < end_) {
                if (b[pos_] != '\n') break;
                ++pos_;
                ++line_;
                at = at == between::separator || at == between::line_end_after_separator
                         ? between::line_end_after_separator
                         : between::line_end_after_item;
                continue;
            }
            if (!at_data()) {
                if (failed_) return read_status::failure;
                if (at_start) {
                    stop_line_ = line_;
                    return read_status::end_of_file;
                }
                stop_line_ = first_line;
                return read_status::incomplete;
            }
        }

        if (at_start) first_line = line_;
        at_start = false;
        const char c = buffer_[pos_];
        if (c == ',' || c == ';') {
            ++pos_;
            const bool empty_value = at != between::item && (c == ';' || at != between::line_end_after_item);
            at = !empty_value && at == between::line_end_after_item ? between::open : between::separator;
            if (empty_value && ++i == n) {
                drop_rest_of_line();
                return read_status::record;
            }
            continue;
        }
        if (c == '/') {
            ++pos_;
            drop_rest_of_line();
            return read_status::record;
        }
        at = between::item;

        // One item: up to a blank, line end, comma, semicolon, slash or the
        // end of the data, taking in more data while the item runs to the end of the
        // buffer.
        stop_line_ = line_;
        std::size_t q = pos_;
        std::size_t star_at = std::string_view::npos;
        for (;;) {
            const char* b = buffer_.get();
            unsigned char k;
            while ((k = class_of(b[q])) == ordinary) ++q;
            if (k == star && q < end_) {
                if (star_at == std::string_view::npos) star_at = q - pos_;
                ++q;
                continue;
            }
            if (q < end_) break;
            const std::size_t length = q - pos_;
            if (!refill()) {
                if (failed_) return read_status::failure;
                if (!exhausted_) return read_status::unreadable;   // longer than the buffer
            }
            q = pos_ + length;
            if (q == end_ && exhausted_) break;
        }

        const std::string_view item(buffer_.get() + pos_, q - pos_);
        pos_ = q;
        // "r*" is a repeat count only after digits; elsewhere a star is part
        // of the item, as in "NaN(*)", which the runtime reads as a NaN.
        if (star_at != std::string_view::npos && !only_digits(item.substr(0, star_at)))
            star_at = std::string_view::npos;
        if (star_at == std::string_view::npos) {
            const std::optional<double> v = textio::parse_list_directed_real(item);
            if (!v) return read_status::unreadable;
            values[i++] = *v;
        } else {
            int r = 0;
            if (!repeat_count(item.substr(0, star_at), r)) return read_status::unreadable;
            const std::string_view value = item.substr(star_at + 1);
            const int take = std::min(r, n - i);
            if (value.empty()) {
                i += take;   // r empty values
            } else {
                const std::optional<double> v = textio::parse_list_directed_real(value);
                if (!v) return read_status::unreadable;
                std::fill_n(values + i, take, *v);
                i += take;
            }
        }
        if (i == n) {
            drop_rest_of_line();
            return read_status::record;
        }
    }
}

read_status record_reader::read_record(record& r)
{
    return read_items(r.data(), record_width);
}

read_status record_reader::skip_record()
{
    double value = 0.0;
    return read_items(&value, 1);
}

}  // namespace average
