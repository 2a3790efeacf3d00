// Where a file of a run goes, and how an older file of that name is replaced
// only by a complete new one.  A name that is a symbolic link is written
// through: the file it leads to is replaced, by way of a temporary file
// beside it (".part" added), renamed onto it once complete.
#pragma once

#include <string>

namespace kelvane {

// The path a name leads to through any symbolic links: the file an open for
// writing would write.  A link's relative target is taken from the link's
// own folder.  A run_failure when the links cannot be followed.
std::string link_target(const std::string& name);

// Whether a file can go to target (reached through name): nothing there
// yet, or a regular file this user may write.  A directory, anything else
// that is not a regular file, or a file the user may not write is a
// run_failure that names it.
void check_place(const std::string& name, const std::string& target);

// One file of a run written under a temporary name and renamed into place
// once complete.  reserve() checks the place and creates the empty
// temporary file, exclusively, with the mode and group of an older file it
// will replace, and holds a lock on it until the rename: a temporary file
// another run holds is refused, one left by a killed run removed first, and
// anything but a regular file under the name refused.  The writer then opens
// temporary() by its path.  Unless committed, the object removes the
// temporary file on its way out.
class replaced_file {
public:
    replaced_file() = default;
    replaced_file(const replaced_file&) = delete;
    replaced_file& operator=(const replaced_file&) = delete;
    ~replaced_file();

    void reserve(const std::string& name);
    const std::string& name() const { return name_; }
    const std::string& temporary() const { return temp_; }
    // The temporary file renamed onto the target; a failure is a run_failure
    // and leaves the older file as it was.
    void commit();

private:
    std::string name_, target_, temp_;
    int lock_ = -1;   // the temporary file, open and locked
};

}  // namespace kelvane
