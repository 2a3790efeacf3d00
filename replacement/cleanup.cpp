#include "replacement/cleanup.hpp"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

#include "process/process.hpp"

namespace replacement {

namespace {

constexpr int cleaned_signals[] = {SIGINT, SIGTERM, SIGHUP};

// The registry: static buffers, so that no path is ever freed under a
// handler reading it, and a flag per slot set only once its path is whole.
constexpr int slots = 16;
char paths[slots][PATH_MAX];
std::atomic<bool> in_use[slots];

// running: a signal removes the files and ends the process; holding: it is
// noted and raised again when the hold ends; ending: a handler is removing
// the files, and the process is about to end.
enum : int { running, holding, ending };
std::atomic<int> phase{running};
std::atomic<int> held_signal{0};

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the handler's atomics must be lock-free to be safe in a signal handler");

void on_signal(int sig)
{
    for (;;) {
        int seen = running;
        if (phase.compare_exchange_strong(seen, ending)) break;
        if (seen == ending) return;
        held_signal.store(sig);
        // Still held after the note: the hold's end will see it.  Otherwise
        // the hold ended in between, perhaps without seeing it: start again.
        if (phase.load() == holding) return;
    }
    for (int s = 0; s < slots; ++s)
        if (in_use[s].load()) ::unlink(paths[s]);
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    sigemptyset(&plain.sa_mask);
    ::sigaction(sig, &plain, nullptr);
    // Blocked while this handler runs, the signal is delivered, with its
    // default action, as the handler returns.
    ::raise(sig);
}

}  // namespace

void install_cleanup()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction handler {};
        handler.sa_handler = on_signal;
        sigemptyset(&handler.sa_mask);
        for (const int sig : cleaned_signals) sigaddset(&handler.sa_mask, sig);
        handler.sa_flags = SA_RESTART;
        for (const int sig : cleaned_signals) {
            struct sigaction before {};
            if (::sigaction(sig, nullptr, &before) != 0) continue;
            if (!(before.sa_flags & SA_SIGINFO) && before.sa_handler == SIG_IGN) continue;
            ::sigaction(sig, &handler, nullptr);
        }
    });
}

signal_hold::signal_hold()
{
    for (;;) {
        int seen = running;
        if (phase.compare_exchange_strong(seen, holding)) return;
        if (seen == ending)
            for (;;) ::pause();   // a handler is ending the process
        std::this_thread::yield();
    }
}

signal_hold::~signal_hold()
{
    phase.store(running);
    const int sig = held_signal.exchange(0);
    if (sig != 0) ::raise(sig);
}

int register_temporary(const std::string& path)
{
    if (path.size() >= PATH_MAX) throw process::run_failure("cannot use " + path + ": its name is too long");
    for (int s = 0; s < slots; ++s)
        if (!in_use[s].load()) {
            std::memcpy(paths[s], path.c_str(), path.size() + 1);
            in_use[s].store(true);
            return s;
        }
    throw process::run_failure("cannot keep track of " + path + ": too many temporary files at once");
}

void forget_temporary(int slot)
{
    if (slot >= 0) in_use[slot].store(false);
}

}  // namespace replacement
