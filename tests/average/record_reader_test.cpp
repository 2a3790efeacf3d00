// The energy-file reader: list-directed reading as the Fortran runtime does
// it, independence from buffering, where reading stops, and hostile input.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "average/record_reader.hpp"
#include "tests/support/paths.hpp"

namespace {

using average::read_status;
using average::record;
using average::record_reader;

// A source over a string, handing out at most `step` bytes per call.
average::byte_source string_source(std::string text, std::size_t step = ~std::size_t{0})
{
    auto data = std::make_shared<const std::string>(std::move(text));
    auto at = std::make_shared<std::size_t>(0);
    return [data, step, at](char* out, std::size_t size) -> std::ptrdiff_t {
        const std::size_t n = std::min({size, step, data->size() - *at});
        std::memcpy(out, data->data() + *at, n);
        *at += n;
        return static_cast<std::ptrdiff_t>(n);
    };
}

// Everything a reader makes of `data`: skips, records, and the final status.
struct reading {
    std::vector<read_status> skips;
    std::vector<record> records;
    read_status end = read_status::record;
    std::int64_t stop_line = 0;
    // Bit for bit, so that NaNs compare too.
    bool operator==(const reading& o) const
    {
        return skips == o.skips && end == o.end && stop_line == o.stop_line && records.size() == o.records.size() &&
               (records.empty() || std::memcmp(records.data(), o.records.data(), records.size() * sizeof(record)) == 0);
    }
};

reading read_all(const std::string& data, int skip, std::size_t buffer = record_reader::default_buffer_size,
                 std::size_t step = ~std::size_t{0})
{
    record_reader reader(string_source(data, step), buffer);
    reading got;
    for (int k = 0; k < skip; ++k) {
        got.skips.push_back(reader.skip_record());
        if (got.skips.back() != read_status::record) return got;
    }
    record r;
    r.fill(-7777.0);
    while ((got.end = reader.read_record(r)) == read_status::record) got.records.push_back(r);
    got.stop_line = reader.stop_line();
    return got;
}

std::string unescape(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c == 'f' ? '\f' : c;
    }
    return out;
}

struct oracle_case {
    std::string name, input;
    int skip = 0;
    std::vector<std::string> skips;   // ok, eof, error
    std::vector<record> records;
    std::string end;                  // eof, error, or empty after a failed skip
};

std::vector<oracle_case> load_oracle_cases()
{
    std::ifstream in(test_support::test_data_path("average/list_directed_cases.txt"));
    std::vector<oracle_case> cases;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "case") {
            cases.emplace_back();
            words >> cases.back().name;
        } else if (key == "skip") {
            std::string v;
            words >> v;
            if (v == "ok" || v == "eof" || v == "error")
                cases.back().skips.push_back(v);
            else
                cases.back().skip = std::stoi(v);
        } else if (key == "input") {
            cases.back().input = unescape(line.size() > 6 ? line.substr(6) : "");
        } else if (key == "record") {
            record r;
            for (double& v : r) {
                std::string t;
                words >> t;
                v = std::strtod(t.c_str(), nullptr);   // "Infinity", "NaN" and subnormals too
            }
            cases.back().records.push_back(r);
        } else if (key == "end") {
            words >> cases.back().end;
        }
    }
    return cases;
}

const char* runtime_word(read_status s)
{
    switch (s) {
    case read_status::record: return "ok";
    case read_status::end_of_file:
    case read_status::incomplete: return "eof";
    case read_status::unreadable: return "error";
    case read_status::failure: return "failure";
    }
    return "?";
}

// The runtime prints every NaN alike, so NaN matches NaN here; every other
// value, the sign of a zero included, matches bit for bit.
bool same_values(const std::vector<record>& a, const std::vector<record>& b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t k = 0; k < a.size(); ++k)
        for (int j = 0; j < average::record_width; ++j) {
            const double x = a[k][j], y = b[k][j];
            if (std::isnan(x) ? !std::isnan(y) : std::memcmp(&x, &y, sizeof x) != 0) return false;
        }
    return true;
}

TEST(ListDirectedReading, AgreesWithTheFortranRuntimeOnEveryRecordedCase)
{
    const std::vector<oracle_case> cases = load_oracle_cases();
    ASSERT_GE(cases.size(), 65u);
    for (const oracle_case& c : cases) {
        SCOPED_TRACE(c.name);
        const reading got = read_all(c.input, c.skip);
        std::vector<std::string> skips;
        for (read_status s : got.skips) skips.push_back(runtime_word(s));
        EXPECT_EQ(skips, c.skips);
        if (!c.end.empty()) {
            EXPECT_TRUE(same_values(got.records, c.records));
            EXPECT_EQ(runtime_word(got.end), c.end);
        }
    }
}

// Where this reader departs from the runtime on purpose.
TEST(ListDirectedReading, NulIsNotASeparator)
{
    // The runtime takes a line holding a NUL byte as an empty value; here it
    // is text.
    EXPECT_EQ(read_all("1 2 3 4 5 6 7 8 9 10\n" + std::string(1, '\0') + "\n", 0).end, read_status::unreadable);
    EXPECT_EQ(read_all("1 2 3 4 5 6 7 8 9 1" + std::string(1, '\0') + "\n", 0).end, read_status::unreadable);
}

TEST(ListDirectedReading, EmptyValuesOfTheFirstRecordKeepTheCallersValues)
{
    // The program starts each pass from zeros, so both passes read the same.
    record_reader reader(string_source(",2,,4,5,6,7,8,9,3*\n"));
    record r{};
    ASSERT_EQ(reader.read_record(r), read_status::record);
    EXPECT_EQ(r, (record{0, 2, 0, 4, 5, 6, 7, 8, 9, 0}));
}

TEST(ListDirectedReading, RepeatCountAtTheVeryEndOfTheDataGivesEmptyValues)
{
    // The runtime reports the end of the file for "r*" with no line end after
    // it; a last line without its line end reads like any other here.
    const reading got = read_all("1 2 3 4 5 6 7 8 9 10\n1 2 3 4 5 6 7 8 9 3*", 0);
    ASSERT_EQ(got.records.size(), 2u);
    EXPECT_EQ(got.records[1][9], 10.0);
    EXPECT_EQ(got.end, read_status::end_of_file);
}

// Text that exercises every path of the reader, with items of many lengths.
std::string mixed_file()
{
    std::string s;
    for (int k = 0; k < 400; ++k) {
        s += "   0.123456789E+0" + std::to_string(k % 10) + " -" + std::to_string(k) + ".25d-1,";
        s += k % 7 == 0 ? "\r\n\n  " : "\t";
        s += "3*1.5 , , 2*, 7 8 9 10 11 12 13\n";
        if (k % 5 == 0) s += "-Infinity NaN(*) 2*nan 0.5-101 1.0+400 1e-400\n";
        if (k % 11 == 0) s += "1 2 3 / dropped\n";
        if (k % 13 == 0) s += std::string(3000, ' ') + "\n";
        if (k % 17 == 0) s += "5 6 7 8 9 10 11 12 13 14 " + std::string(5000, 'x') + "\n";
    }
    return s + "1 2 3 4 5\nend of data\n";
}

TEST(RecordReader, ReadsTheSameWhateverTheBufferSizeAndTheSourcesPieces)
{
    const std::string data = mixed_file();
    const reading reference = read_all(data, 3);
    ASSERT_GT(reference.records.size(), 400u);
    ASSERT_EQ(reference.end, read_status::unreadable);
    for (std::size_t buffer : {32, 33, 64, 100, 4096, 65536})
        for (std::size_t step : {1, 3, 7, 1000, 1 << 20}) {
            SCOPED_TRACE("buffer " + std::to_string(buffer) + ", pieces of " + std::to_string(step));
            EXPECT_EQ(read_all(data, 3, buffer, step), reference);
        }
}

TEST(RecordReader, SaysOnWhichLineReadingStopped)
{
    // The offending item's line; for data ending inside a record, the line on
    // which that record began.
    EXPECT_EQ(read_all("1 2 3 4 5 6 7 8 9 10\n\n1 2 3\n4 5 x\n", 0).stop_line, 4);
    EXPECT_EQ(read_all("1 2 3 4 5 6 7 8 9 10\nend of run\n", 0).stop_line, 2);
    const reading cut = read_all("1 2 3 4 5 6 7 8 9 10 11\n\n 1 2 3\n4 5\n\n", 0);
    EXPECT_EQ(cut.end, read_status::incomplete);
    EXPECT_EQ(cut.stop_line, 3);
    record_reader reader(string_source("\n\n1\nabc\n"));
    EXPECT_EQ(reader.skip_record(), read_status::record);
    EXPECT_EQ(reader.skip_record(), read_status::unreadable);
    EXPECT_EQ(reader.stop_line(), 4);
}

TEST(RecordReader, SurvivesHostileData)
{
    // Binary bytes end the data; a huge line after ten numbers is passed over
    // in pieces; a single item longer than the buffer is unreadable.
    std::string binary;
    for (int k = 0; k < 100000; ++k) binary += static_cast<char>((k * 7919) % 256);
    EXPECT_EQ(read_all("1 2 3 4 5 6 7 8 9 10\n" + binary, 0, 4096).records.size(), 1u);

    std::string long_line = "1 2 3 4 5 6 7 8 9 10";
    for (int k = 0; k < 2000000; ++k) long_line += " 7";
    const reading tail = read_all(long_line + "\n11 12 13 14 15 16 17 18 19 20\n", 0, 4096);
    ASSERT_EQ(tail.records.size(), 2u);
    EXPECT_EQ(tail.records[1][0], 11.0);
    EXPECT_EQ(tail.end, read_status::end_of_file);

    const std::string digits(100000, '1');
    EXPECT_EQ(read_all("1 2 3 4 5 6 7 8 9 10\n" + digits + "\n", 0, 4096).end, read_status::unreadable);
    EXPECT_EQ(read_all(std::string(100000, '\n') + std::string(100000, ' '), 0, 4096).end,
              read_status::end_of_file);
}

TEST(RecordReader, ReportsAFailingSource)
{
    int calls = 0;
    record_reader reader([&calls](char* out, std::size_t) -> std::ptrdiff_t {
        if (calls++ > 0) return -1;
        std::memcpy(out, "1 2 3 4 5 6 7 8 9 10\n1 2", 24);
        return 24;
    });
    record r{};
    EXPECT_EQ(reader.read_record(r), read_status::record);
    EXPECT_EQ(reader.read_record(r), read_status::failure);
}

}  // namespace
