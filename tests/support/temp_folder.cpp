#include "tests/support/temp_folder.hpp"

#include <stdlib.h>

#include <stdexcept>

namespace test_support {

temp_folder::temp_folder(const std::string& tag)
{
    std::string pattern = (fs::temp_directory_path() / (tag + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder " + pattern);
    path_ = pattern;
}

temp_folder::~temp_folder()
{
    // A test may have closed a folder to writing; open it again to empty it.
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

}  // namespace test_support
