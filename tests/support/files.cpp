#include "tests/support/files.hpp"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace test_support {

std::string read_file(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const fs::path& p, std::string_view content)
{
    std::ofstream f(p, std::ios::binary);
    f.write(content.data(), static_cast<std::streamsize>(content.size()));
    f.close();
    if (!f) throw std::runtime_error("cannot write " + p.string());
}

std::vector<std::string> file_names(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::map<std::string, std::string> files_in(const fs::path& dir)
{
    std::map<std::string, std::string> files;
    for (const auto& name : file_names(dir)) files[name] = read_file(dir / name);
    return files;
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace test_support
