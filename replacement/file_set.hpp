// A set of output files that replace older files of the same names whole and
// together, or not at all.  Used for kelvane's four files of a theta plane
// and brantor's two scan files.
//
// Before any work is spent, every name is checked: what stands under it
// must be nothing or a regular file this user may write and replace (a
// folder with the sticky bit lets only a file's owner, the folder's owner or
// a privileged user replace it), the folder must take a new file, and no two
// names may lead to one file.  A name that is a symbolic link is written
// through: the file it leads to is replaced, and the link stays a link.
//
// Each file is then written under a temporary name beside the file it
// replaces, "<file>.part" (or "<file>.<pid>-<n>.part" when something stands
// under that name already), created exclusively, so that no existing file,
// link or special file is ever opened.  A new file takes the older file's
// permissions, group and (for a privileged user) owner; where the group
// cannot be kept, its group permissions are dropped, so that nobody gains
// access the older file did not give.  Without an older file the new one gets
// what the user's umask gives.
//
// Once all are complete, place() puts them under their names in the order
// given, the last one last: the last name stands new only when all others
// do, and its older file is taken away before the first is placed, so that
// "the last name exists" keeps meaning "the set is complete" even if the
// process dies between two renames.  Meanwhile SIGINT, SIGTERM and SIGHUP
// are held, and the older files are kept under "<file>.old.part" until the
// placing is done: if a rename fails, every name placed so far gets its
// older file back, and the set stands exactly as before.  A name that was
// one of several hard links of a file gets a file of its own; the other links
// keep the older content.
//
// A run that fails, or ends by SIGINT, SIGTERM or SIGHUP (where the signal is
// not ignored), leaves no temporary file: a handler that only unlinks the
// temporary names and then ends the process by the same signal is installed
// with the first set.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace replacement {

class file_set {
public:
    // Checks the names, then creates every temporary file; the first name
    // that cannot take its file is a process::run_failure that names it, and
    // leaves nothing behind.
    explicit file_set(std::vector<std::string> names);
    // Unless the set was placed: the temporary files removed.
    ~file_set();
    file_set(const file_set&) = delete;
    file_set& operator=(const file_set&) = delete;

    // The whole text appended to file k, or a run_failure naming its
    // temporary file.  Distinct files may be written from distinct threads.
    void write(std::size_t k, std::string_view text);

    // For a library that opens file k by its path: the descriptor closed
    // (checked) and the temporary path returned; the file, created and owned
    // by this set, is placed or removed with the others.
    const std::string& hand_over(std::size_t k);

    // The open files closed (checked), then every file put under its name,
    // in order.  A failure is a run_failure that says what failed; the older
    // files then stand as before (any that could not be put back is named
    // in the message, with the name it is kept under).
    void place();

private:
    struct file {
        std::string name;        // as given
        std::string target;      // the file it leads to through symbolic links
        std::string shown;       // for messages: the name, with the target where a link leads elsewhere
        bool older = false;      // a file stands at the target
        struct stat was {};      // and its status
        std::string temporary;
        int slot = -1;           // in the cleanup registry while the temporary is ours
        int fd = -1;
        std::string kept;        // the older file's other name while placing
        bool kept_by_link = false;   // the target still holds the older file too
        bool placed = false;
    };

    void check_all();
    void create_temporary(file& f);
    void close_all();
    void set_older_aside();
    void undo_placing(std::string& message);
    [[noreturn]] void give_up(std::string message);
    void discard();

    std::vector<file> files_;
};

}  // namespace replacement
