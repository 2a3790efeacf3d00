// average on energy files that are not what a simulation writes: binary data,
// NUL bytes, a line of 100 MB, CR LF line ends, a byte order mark, damaged
// copies of a good file, and a file that is written to or replaced while it
// is read.  Each run ends with a correct report (and a note on standard error
// where reading stopped early) or with status 2 and a message, in memory
// that does not grow with the file.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <optional>
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

// Changes wd.eng while average reads it: once the program has read part of
// the file in the pass named, it is stopped, the change is made, and it goes
// on.  Where it reads comes from /proc (the position of its opening of
// wd.eng), so the change falls inside the pass whatever the machine's speed.
enum class pass { first, second };

// The position of the program's opening of wd.eng, if it has one.
std::optional<long long> reading_position(pid_t pid)
{
    std::error_code ec;
    const fs::path proc = "/proc/" + std::to_string(pid);
    for (const auto& e : fs::directory_iterator(proc / "fd", ec)) {
        std::error_code ec2;
        const std::string target = fs::read_symlink(e.path(), ec2).string();
        if (ec2 || target.size() < 7 || target.compare(target.size() - 7, 7, "/wd.eng") != 0) continue;
        std::ifstream info(proc / "fdinfo" / e.path().filename());
        std::string key;
        long long pos = -1;
        while (info >> key)
            if (key == "pos:" && info >> pos) return pos;
    }
    return std::nullopt;
}

bool is_stopped(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t paren = all.rfind(')');
    return paren != std::string::npos && paren + 2 < all.size() && all[paren + 2] == 'T';
}

struct changed_run {
    run_result result;
    bool changed_in_pass = false;   // the change fell inside the pass named
};

// average 1 on `content` as wd.eng, with `change(wd.eng)` made during `when`.
changed_run average_while_changing(const std::string& content, pass when,
                                   const std::function<void(const fs::path&)>& change)
{
    temp_folder dir("average_changing");
    const fs::path file = dir / "wd.eng";
    write_file(file, content);
    // An hour old, so that any later write gives another modification time
    // whatever the clock's resolution.
    const fs::file_time_type old = fs::last_write_time(file) - std::chrono::hours(1);
    fs::last_write_time(file, old);

    const auto size = static_cast<long long>(content.size());
    changed_run out;
    std::thread changer;
    run_options o{.cwd = dir.path(), .args = {"1"}, .time_limit = 60};
    o.started = [&](pid_t pid) {
        changer = std::thread([&, pid] {
            long long highest = -1;
            bool rewound = false;
            const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (std::chrono::steady_clock::now() < give_up) {
                const std::optional<long long> pos = reading_position(pid);
                if (pos) {
                    rewound = rewound || *pos < highest;
                    highest = std::max(highest, *pos);
                    if (*pos > 0 && *pos < size && rewound == (when == pass::second)) {
                        ::kill(pid, SIGSTOP);
                        while (!is_stopped(pid)) std::this_thread::sleep_for(std::chrono::microseconds(50));
                        const std::optional<long long> at = reading_position(pid);
                        out.changed_in_pass = at && *at < size && (when == pass::second || *at >= highest);
                        change(file);
                        ::kill(pid, SIGCONT);
                        return;
                    }
                } else if (highest >= 0) {
                    return;   // the program has closed the file
                }
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
        });
    };
    out.result = run_program(program_path("average"), o);
    changer.join();
    return out;
}

// A file of some 9 MB, which takes each pass long enough to be caught in it.
const std::string& large_file()
{
    static const std::string f = example + energy_file(100000);
    return f;
}

void append(const fs::path& f, const std::string& text)
{
    std::ofstream(f, std::ios::app) << text;
}

TEST(AverageHostileFiles, FileWrittenToWhileItIsReadIsRefusedAndOneMovedInItsPlaceIsNotSeen)
{
    const run_result reference = average_on(large_file());
    ASSERT_EQ(reference.status, 0) << reference.describe();
    const std::string two_lines = reference.out.substr(0, reference.out.find('\n', 31) + 1);

    const std::vector<std::pair<std::string, std::function<void(const fs::path&)>>> changes = {
        {"grows, as a simulation still running writes it", [](const fs::path& f) { append(f, energy_file(10)); }},
        {"shrinks", [](const fs::path& f) { fs::resize_file(f, fs::file_size(f) / 2); }},
        {"is written in place", [](const fs::path& f) {
             std::fstream(f, std::ios::in | std::ios::out).write("9", 1);
         }},
        {"is touched", [](const fs::path& f) { fs::last_write_time(f, fs::file_time_type::clock::now()); }},
        // mv other wd.eng: the passes read the file opened, whole
        {"is replaced", [](const fs::path& f) {
             write_file(f.parent_path() / "other", example + energy_file(7));
             fs::rename(f.parent_path() / "other", f);
         }},
    };
    for (const auto& [what, change] : changes)
        for (pass when : {pass::first, pass::second}) {
            SCOPED_TRACE(what + (when == pass::first ? " in the first pass" : " in the second pass"));
            const changed_run c = average_while_changing(large_file(), when, change);
            ASSERT_TRUE(c.changed_in_pass) << "the change missed the pass";
            const run_result& r = c.result;
            if (what == "is replaced") {
                EXPECT_EQ(r.status, 0) << r.describe();
                EXPECT_EQ(r.out, reference.out);
                continue;
            }
            EXPECT_EQ(r.status, 2) << r.describe();
            // Changed in the first pass: nothing printed; in the second, the
            // count and means of the file as it was are out, nothing more.
            EXPECT_EQ(r.out, when == pass::first ? std::string() : two_lines);
            EXPECT_NE(r.err.find("wd.eng changed"), std::string::npos) << r.err;
        }
}

}  // namespace
