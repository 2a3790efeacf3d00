// average on energy files that are not what a simulation writes: binary data,
// NUL bytes, a line of 100 MB, CR LF line ends, a byte order mark, damaged
// copies of a good file, and a file that grows or shrinks between the two
// passes.  Each run ends with a correct report (and a note on standard error
// where reading stopped early) or with status 2 and a message, in memory
// that does not grow with the file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/files.hpp"
#include "tests/support/paths.hpp"
#include "tests/support/process.hpp"
#include "tests/support/temp_folder.hpp"

namespace {

using namespace test_support;

const std::string example = "0 99 99 99 99 99 99 99 99 99\n"
                            "1 10 -20 -10 5 0 -5 30 0 0\n"
                            "2 14 -22 -8 7 0 -1 34 0 0\n";

// A file of n records with varied values, as a simulation writes it.
std::string energy_file(int n)
{
    std::string s;
    char line[256];
    for (int k = 0; k < n; ++k) {
        std::snprintf(line, sizeof line, "%d %.6f %.6f %.6f %.6f %.6f %.6f %.6f %.6f %.6f\n", k, 10.0 + k % 7,
                      -20.0 + 0.25 * (k % 5), -10.0 + k % 3, 5.0 + 0.5 * (k % 4), 0.0, -5.0 + k % 6, 30.0 + k % 9,
                      0.0, 0.0);
        s += line;
    }
    return s;
}

run_result run_average(const fs::path& work, const std::string& skip = "1")
{
    return run_program(program_path("average"), {.cwd = work, .args = {skip}, .time_limit = 120});
}

// average on `content` as wd.eng, in a fresh directory.
run_result average_on(const std::string& content, const std::string& skip = "1")
{
    return run_in_fresh_folder(program_path("average"), {.args = {skip}, .time_limit = 120}, {{"wd.eng", content}});
}

// The report's four lines have the widths of their formats.
bool well_formed_report(const std::string& out)
{
    std::istringstream in(out);
    std::string line;
    std::vector<std::size_t> widths;
    while (std::getline(in, line)) widths.push_back(line.size());
    return widths == std::vector<std::size_t>{30, 177, 177, 28} && out.back() == '\n';
}

// A damaged file ends in one of two ways: a report, or status 2 with a reason.
void expect_report_or_error(const run_result& r, const std::string& what)
{
    ASSERT_TRUE(r.exited && !r.timed_out) << what << ": " << r.describe();
    ASSERT_TRUE(r.status == 0 || r.status == 2) << what << ": " << r.describe();
    if (r.status == 0)
        EXPECT_TRUE(well_formed_report(r.out)) << what << ": " << r.out;
    else
        EXPECT_FALSE(r.err.empty()) << what;
}

TEST(AverageHostileFiles, CrLfLineEndsGiveTheSameReport)
{
    std::string crlf;
    for (char c : example + energy_file(40)) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    const run_result lf = average_on(example + energy_file(40));
    const run_result r = average_on(crlf);
    ASSERT_EQ(lf.status, 0) << lf.describe();
    EXPECT_EQ(r.status, 0) << r.describe();
    EXPECT_EQ(r.out, lf.out);
    EXPECT_EQ(r.err, "");
}

// Reading stops at the damaged record; the report covers the records before
// it and the note names the line.
TEST(AverageHostileFiles, NulBytesEndTheRecordsWithANote)
{
    const std::string good = example + energy_file(5);
    const run_result before = average_on(good);
    ASSERT_EQ(before.status, 0) << before.describe();
    for (const std::string& damaged : {std::string("7 1 2 3\0004 5 6 7 8 9\n", 21), std::string("\0\0\0\n", 4),
                                       std::string("\0", 1) + "1 2 3 4 5 6 7 8 9 10\n"}) {
        const run_result r = average_on(good + damaged + energy_file(3));
        EXPECT_EQ(r.status, 0) << r.describe();
        EXPECT_EQ(r.out, before.out);
        EXPECT_NE(r.err.find("line 9"), std::string::npos) << r.err;
    }
    // A NUL in a record to be skipped is an error before any report.
    const run_result r = average_on(std::string("\0001 2 3 4 5 6 7 8 9 10\n", 22) + example);
    EXPECT_EQ(r.status, 2) << r.describe();
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(r.err.empty());
}

TEST(AverageHostileFiles, BinaryDataEndsWithAReportOrAnError)
{
    std::mt19937_64 rng(20240601);
    for (int k = 0; k < 8; ++k) {
        std::string junk(64 * 1024, '\0');
        for (auto& c : junk) c = static_cast<char>(rng());
        // Some files start with good records, so that the junk meets the reader
        // in the middle of a pass.
        const std::string file = (k % 2 ? example : std::string()) + junk;
        for (const char* skip : {"0", "1"}) expect_report_or_error(average_on(file, skip), "binary file");
    }
    const run_result bom = average_on("\xef\xbb\xbf" + example, "0");
    expect_report_or_error(bom, "byte order mark");
    EXPECT_FALSE(bom.err.empty()) << "a file that cannot be read from its first byte is noted";
}

// Damaged copies of a good file: bytes changed, inserted or removed, lines
// cut or repeated.  The count is the number of files tried.
TEST(AverageHostileFiles, DamagedCopiesEndWithAReportOrAnError)
{
    const std::string good = example + energy_file(30);
    const std::string bytes = std::string("\0\r\n\t ,/*+-.eEdD0123456789xq\x7f\xff", 29);
    std::mt19937_64 rng(42);
    int tried = 0;
    for (int k = 0; k < 200; ++k, ++tried) {
        std::string f = good;
        for (int edits = 1 + static_cast<int>(rng() % 6); edits > 0; --edits) {
            const std::size_t at = rng() % f.size();
            switch (rng() % 5) {
            case 0: f[at] = bytes[rng() % bytes.size()]; break;
            case 1: f.insert(at, 1, bytes[rng() % bytes.size()]); break;
            case 2: f.erase(at, 1 + rng() % 8); break;
            case 3: f.resize(at); break;
            default: f.insert(at, f.substr(at, rng() % 200)); break;
            }
            if (f.empty()) f = "\n";
        }
        expect_report_or_error(average_on(f, std::to_string(rng() % 3)), "damaged copy " + std::to_string(k));
    }
    std::printf("damaged copies of wd.eng tried: %d\n", tried);
}

// Lines of 100 MB are passed over in pieces: the memory used stays that of a
// small file.
TEST(AverageHostileFiles, HundredMegabyteLinesInConstantMemory)
{
    constexpr std::size_t line_size = 100u << 20;
    const run_result small = average_on(example);
    ASSERT_EQ(small.status, 0) << small.describe();

    temp_folder dir("average_long_line");
    const fs::path file = dir.path() / "wd.eng";
    auto write_with_long_line = [&](const std::string& head, char fill, const std::string& tail) {
        FILE* f = std::fopen(file.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(head.data(), 1, head.size(), f);
        const std::string chunk(1 << 20, fill);
        for (std::size_t n = 0; n < line_size; n += chunk.size()) std::fwrite(chunk.data(), 1, chunk.size(), f);
        std::fwrite(tail.data(), 1, tail.size(), f);
        ASSERT_EQ(std::fclose(f), 0);
    };

    // Ten numbers and then 100 MB more on the same line: the rest is dropped.
    write_with_long_line(example + "3 12 -21 -9 6 0 -3 32 0 0", ' ', "5\n");
    const run_result dropped = run_average(dir.path());
    const run_result dropped_reference = average_on(example + "3 12 -21 -9 6 0 -3 32 0 0\n");
    EXPECT_EQ(dropped.status, 0) << dropped.describe();
    EXPECT_EQ(dropped.out, dropped_reference.out);

    // 100 MB of blanks before a record's values: passed over.
    write_with_long_line(example, ' ', "3 12 -21 -9 6 0 -3 32 0 0\n");
    const run_result blanks = run_average(dir.path());
    EXPECT_EQ(blanks.status, 0) << blanks.describe();
    EXPECT_EQ(blanks.out, dropped_reference.out);

    // One item of 100 MB: no number; the records before it are used.
    write_with_long_line(example, '7', "\n");
    const run_result item = run_average(dir.path());
    EXPECT_EQ(item.status, 0) << item.describe();
    EXPECT_EQ(item.out, small.out);
    EXPECT_NE(item.err.find("line 4"), std::string::npos) << item.err;

    for (const run_result* r : {&dropped, &blanks, &item})
        EXPECT_LT(r->max_rss_kb, small.max_rss_kb + 16 * 1024) << "memory grew with the line: " << r->max_rss_kb
                                                                 << " kB against " << small.max_rss_kb << " kB";
}

// wd.eng as a named pipe that hands out one text to each opening, so that the
// second pass sees another file than the first.  Each text is written once
// the program has opened the pipe again, after closing it.
class changing_file {
public:
    changing_file(fs::path fifo, std::vector<std::string> texts) : fifo_(std::move(fifo)), texts_(std::move(texts))
    {
        if (::mkfifo(fifo_.c_str(), 0644) != 0) throw std::runtime_error("mkfifo failed");
    }

    void serve(pid_t pid)
    {
        writer_ = std::thread([this, pid] {
            auto wait_until = [this](auto done) {
                while (!stop_ && !done()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            };
            for (const std::string& t : texts_) {
                int fd = -1;
                // The open succeeds once the program opens for reading (ENXIO
                // before); the text goes out once that open has completed, so
                // that it cannot reach an earlier opening.
                wait_until([&] { return (fd = ::open(fifo_.c_str(), O_WRONLY | O_NONBLOCK)) >= 0; });
                wait_until([&] { return holds_fifo(pid); });
                if (fd < 0 || stop_) {
                    if (fd >= 0) ::close(fd);
                    break;
                }
                ::fcntl(fd, F_SETFL, 0);
                for (std::size_t done = 0; done < t.size();) {
                    const ssize_t n = ::write(fd, t.data() + done, t.size() - done);
                    if (n <= 0) break;   // the program stopped reading
                    done += static_cast<std::size_t>(n);
                }
                ::close(fd);
                wait_until([&] { return !holds_fifo(pid); });
            }
        });
    }

    ~changing_file()
    {
        stop_ = true;
        if (writer_.joinable()) writer_.join();
    }

private:
    bool holds_fifo(pid_t pid) const
    {
        std::error_code ec;
        const fs::path fds = "/proc/" + std::to_string(pid) + "/fd";
        for (const auto& e : fs::directory_iterator(fds, ec)) {
            std::error_code ec2;
            if (fs::read_symlink(e.path(), ec2) == fifo_) return true;
        }
        return false;
    }

    fs::path fifo_;
    std::vector<std::string> texts_;
    std::thread writer_;
    std::atomic<bool> stop_{false};
};

run_result average_on_changing_file(const std::string& first, const std::string& second)
{
    ::signal(SIGPIPE, SIG_IGN);   // a program that stops reading must not end the test
    temp_folder dir("average_changing");
    changing_file file(dir.path() / "wd.eng", {first, second});
    run_options o;
    o.cwd = dir.path();
    o.args = {"1"};
    o.time_limit = 60;
    o.started = [&file](pid_t pid) { file.serve(pid); };
    return run_program(program_path("average"), o);
}

TEST(AverageHostileFiles, FileThatGrowsBetweenThePassesGivesTheReportOfTheRecordsCounted)
{
    const run_result reference = average_on(example);
    const run_result r = average_on_changing_file(example, example + energy_file(1000));
    EXPECT_EQ(r.status, 0) << r.describe();
    EXPECT_EQ(r.out, reference.out);
}

TEST(AverageHostileFiles, FileThatShrinksOrChangesBetweenThePassesIsAnError)
{
    const std::string full = example + energy_file(50);
    const run_result reference = average_on(full);
    const std::string two_lines = reference.out.substr(0, reference.out.find('\n', 31) + 1);
    for (const std::string& second : {example + energy_file(20), std::string(), example + "x\n" + energy_file(50)}) {
        const run_result r = average_on_changing_file(full, second);
        EXPECT_EQ(r.status, 2) << r.describe();
        EXPECT_EQ(r.out, two_lines) << "the count and the means are out before the second pass";
        EXPECT_FALSE(r.err.empty());
    }
}

}  // namespace
