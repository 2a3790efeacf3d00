// A fresh empty folder under the system's temporary folder, removed with
// everything in it (read-only subfolders too) when the object goes.
#pragma once

#include <filesystem>
#include <string>

namespace test_support {

namespace fs = std::filesystem;

class temp_folder {
public:
    explicit temp_folder(const std::string& tag = "test");
    ~temp_folder();
    temp_folder(const temp_folder&) = delete;
    temp_folder& operator=(const temp_folder&) = delete;

    const fs::path& path() const { return path_; }
    fs::path operator/(const fs::path& name) const { return path_ / name; }

private:
    fs::path path_;
};

}  // namespace test_support
