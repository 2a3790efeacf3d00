// Whole files: read, written, listed, and the lines of a text.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace test_support {

namespace fs = std::filesystem;

// The bytes of a file; empty when it cannot be read.
std::string read_file(const fs::path& p);
// Throws when the file cannot be written whole.
void write_file(const fs::path& p, std::string_view content);

std::vector<std::string> file_names(const fs::path& dir);           // sorted
std::map<std::string, std::string> files_in(const fs::path& dir);   // each file's content by name

std::vector<std::string> lines_of(const std::string& text);   // without their line ends

}  // namespace test_support
