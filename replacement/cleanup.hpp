// The temporary files a process owns, removed when it ends by SIGINT,
// SIGTERM or SIGHUP, and the holding of those signals while a file set is
// being placed.  Internal to the file sets.
//
// The handler may run on any thread of the process (threads of a library, of
// MPI, the workers of a plane), so nothing relies on a thread's signal mask:
// a state shared by the handler and the holder decides.  While the signals
// are held, a handler only notes the signal; the hold's end raises it again.
// Otherwise it unlinks every registered path, restores the default action
// and raises the signal, which ends the process as it would have without the
// handler.  It uses only unlink, sigaction and raise, which are safe in a
// signal handler, and reads only registry slots that are complete.
#pragma once

#include <string>

namespace replacement {

// Installs the handler for each of the three signals that is not ignored
// (a run started by nohup keeps ignoring SIGHUP).  Once per process; later
// calls do nothing.
void install_cleanup();

// The signals held for the life of the object; its end raises a signal that
// came meanwhile, which ends the process.  One holder at a time.
class signal_hold {
public:
    signal_hold();
    ~signal_hold();
    signal_hold(const signal_hold&) = delete;
    signal_hold& operator=(const signal_hold&) = delete;
};

// A path the handler is to unlink; the slot, or a run_failure when the path
// is too long or the registry full.  Called while the signals are held, right
// after the file was created.
int register_temporary(const std::string& path);
void forget_temporary(int slot);

}  // namespace replacement
