// Runs a built program over the cases of tests/data/levels/PROGRAM.cases and
// compares its standard output, standard error and exit status with those
// recorded beside them (made once by tests/data/levels/make.sh).
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace program_cases {

struct run_result {
    std::string out, err;
    int status = -1;
    std::vector<std::string> files;   // left in the working folder
};

inline std::string slurp(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The program runs in an empty folder; args are shell words.
inline run_result run(const std::string& program, const std::string& args)
{
    namespace fs = std::filesystem;
    std::string tmpl = (fs::temp_directory_path() / "levels-XXXXXX").string();
    const char* made = mkdtemp(tmpl.data());
    if (!made) throw std::runtime_error("cannot create a temporary folder");
    const fs::path dir(made);
    const fs::path capture = fs::temp_directory_path() / (dir.filename().string() + ".capture");
    fs::create_directory(capture);
    const std::string command = "cd '" + dir.string() + "' && '" + TOOLKIT_BIN_DIR "/" + program + "' " + args +
                                " >'" + (capture / "out").string() + "' 2>'" + (capture / "err").string() + "'";
    const int raw = std::system(command.c_str());
    run_result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = slurp(capture / "out");
    r.err = slurp(capture / "err");
    for (const auto& entry : fs::directory_iterator(dir)) r.files.push_back(entry.path().filename().string());
    fs::remove_all(dir);
    fs::remove_all(capture);
    return r;
}

struct test_case {
    std::string name, args;
};

inline std::vector<test_case> read_cases(const std::string& program)
{
    std::ifstream in(std::string(TEST_DATA_DIR) + "/levels/" + program + ".cases");
    std::vector<test_case> cases;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const auto bar = line.find('|');
        cases.push_back({line.substr(0, bar), line.substr(bar + 1)});
    }
    return cases;
}

inline void check_all(const std::string& program)
{
    const auto cases = read_cases(program);
    ASSERT_FALSE(cases.empty());
    const std::string data = std::string(TEST_DATA_DIR) + "/levels/" + program + "/";
    for (const test_case& c : cases) {
        SCOPED_TRACE(program + " case " + c.name + ": " + c.args);
        const run_result r = run(program, c.args);
        EXPECT_EQ(r.out, slurp(data + c.name + ".out"));
        EXPECT_EQ(r.err, slurp(data + c.name + ".err"));
        EXPECT_EQ(r.status, std::stoi(slurp(data + c.name + ".rc")));
        EXPECT_TRUE(r.files.empty());
        // A rejected run prints nothing on standard output and says why.
        if (r.status == 2) {
            EXPECT_TRUE(r.out.empty());
            EXPECT_FALSE(r.err.empty());
        }
    }
}

}  // namespace program_cases
